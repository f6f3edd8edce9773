// Small XM modules for the sound tests, built with the XM writer.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "sound/module.h"
#include "authoring/xm_writer.h"

// A sample of n 16-bit values: value(i) = (i * 997) % 20000 - 10000 unless given.
XmSample test_sample(int n, bool sixteen_bit = true);
// One instrument whose keymap sends every note to sample 0.
XmInstrument test_instrument(XmSample sample);
// A module with the given channels, one pattern of rows rows, one instrument.
XmModule test_module(int channels = 2, int rows = 64);

std::unique_ptr<ModulePlayer> load_xm(const XmModule& module);
// The same, set to the given replay.
std::unique_ptr<ModulePlayer> load_xm(const XmModule& module, ReplayMode mode);
std::unique_ptr<ModulePlayer> load_bytes(const std::vector<std::uint8_t>& bytes);

// Starts the player and runs ticks ticks.
void run_ticks(ModulePlayer& player, int ticks);
// Runs ticks until n rows have begun; returns each row's (order position, row).
std::vector<std::pair<int, int>> run_rows(ModulePlayer& player, int n);
