// The audio output: plays the engine's looping buffer straight from the program's shared
// memory, 16-bit stereo at the context's rate (44,100 Hz), and counts the frames it has
// handed on. The block's words are those of SharedBlock in audio_web.cc:
// ring, ring_bytes, start_byte, generation, playing, consumed, latency, start_context_frame.
class KestolOutput extends AudioWorkletProcessor {
  constructor() {
    super();
    this.words = null;
    this.samples = null;
    this.generation = 0;
    this.offset = 0;
    this.port.onmessage = (event) => {
      this.words = new Int32Array(event.data.memory);
      this.samples = new Int16Array(event.data.memory);
      this.block = event.data.block >> 2;
    };
  }

  process(inputs, outputs) {
    const left = outputs[0][0];
    const right = outputs[0][1] || left;
    const w = this.words;
    if (w === null || Atomics.load(w, this.block + 4) === 0) {
      left.fill(0);
      right.fill(0);
      return true;
    }
    const b = this.block;
    const generation = Atomics.load(w, b + 3);
    const ring = Atomics.load(w, b) >> 1;
    const bytes = Atomics.load(w, b + 1);
    if (generation !== this.generation) {
      this.generation = generation;
      this.offset = Atomics.load(w, b + 2);
      Atomics.store(w, b + 5, 0);
      Atomics.store(w, b + 7, currentFrame);
    }
    let offset = this.offset;
    for (let i = 0; i < left.length; ++i) {
      const at = ring + (offset >> 1);
      left[i] = this.samples[at] / 32768;
      right[i] = this.samples[at + 1] / 32768;
      offset += 4;
      if (offset >= bytes) offset = 0;
    }
    this.offset = offset;
    // Frames of a playback that has just been replaced count for nothing.
    if (Atomics.load(w, b + 3) === generation) Atomics.add(w, b + 5, left.length);
    return true;
  }
}

registerProcessor('kestol-output', KestolOutput);
