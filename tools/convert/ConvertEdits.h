#pragma once
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "DibImage.h"

// The converter's workbench: the edits named on the command line, applied
// in their order to every image between reading and writing.

struct EUsage : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The value after option Args[I], stepping over it.
const std::string& ValueOf(const std::vector<std::string>& Args, size_t& I);

// The lines of the usage text that tell the edit options.
extern const char* const EditUsage;

// Takes Args[I] (and its values) when it is an edit option.
bool TakeEditOption(const std::vector<std::string>& Args, size_t& I);

// Runs every edit taken so far on Dib, which it may replace.
void ApplyEdits(std::unique_ptr<TDib>& Dib);
