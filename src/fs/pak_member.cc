// PakMemberStream and ArchiveByteSource: reading one member, stored or compressed, plain
// or enciphered. The archive is positioned before every read, so members may be read in
// turns.
#include <cstring>

#include "fs/pak_fs.h"

bool ArchiveByteSource::refill() {
  begin_ = 0;
  end_ = archive_->read(buffer_, sizeof buffer_);
  if (cipher_ != nullptr) cipher_decode(buffer_, buffer_, end_, cipher_);
  fetched_ += end_;
  return end_ != 0;
}

std::uint32_t ArchiveByteSource::read(void* buffer, std::uint32_t count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    if (begin_ == end_ && !refill()) break;
    std::uint32_t n = end_ - begin_;
    if (n > count - done) n = count - done;
    std::memcpy(out + done, buffer_ + begin_, n);
    begin_ += n;
    done += n;
  }
  consumed_ += done;
  return done;
}

std::span<const std::uint8_t> ArchiveByteSource::peek() {
  if (begin_ == end_) refill();
  return {buffer_ + begin_, end_ - begin_};
}

void ArchiveByteSource::consume(std::uint32_t n) {
  begin_ += n;
  consumed_ += n;
}

PakMemberStream::PakMemberStream(const NameString& name, PakFileSystem* owner, Stream* archive,
                                 const PakEntryView& entry, bool enciphered)
    : Stream(name, mode_read, owner),
      data_offset_(entry.offset()),
      size_(entry.size()),
      archive_(archive),
      packing_(entry.packing()),
      enciphered_(enciphered) {
  if (enciphered_) cipher_init(&cipher_);
  if (packing_ != 0) {
    source_ = std::make_unique<ArchiveByteSource>(archive_, enciphered_ ? &cipher_ : nullptr);
    codec_ = std::make_unique<LzssCodec>();
    decoder_.reset(codec_->create_decoder(source_.get()));
  }
}

std::uint32_t PakMemberStream::read(void* buffer, std::uint32_t count) {
  std::uint64_t left = size_ - position_;
  std::uint32_t n = left < count ? static_cast<std::uint32_t>(left) : count;
  if (n == 0) return 0;
  std::uint32_t got = 0;
  if (packing_ == 0) {
    if (archive_->seek(data_offset_ + position_)) {
      got = archive_->read(buffer, n);
      if (enciphered_) {
        auto* bytes = static_cast<std::uint8_t*>(buffer);
        cipher_decode(bytes, bytes, got, &cipher_);
      }
    }
  } else if (archive_->seek(data_offset_ + source_->fetched())) {
    got = decoder_->read(buffer, n);
  }
  position_ += got;
  return got;
}

bool PakMemberStream::seek(std::uint64_t position) {
  if (position > size_) return false;
  if ((packing_ != 0 || enciphered_) && position != position_) return false;
  position_ = position;
  return true;
}

std::uint64_t PakMemberStream::stored_bytes_read() const {
  return packing_ != 0 ? source_->consumed() : position_;
}
