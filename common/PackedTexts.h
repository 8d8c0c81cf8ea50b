// Texts packed into one UTF-8 buffer, with one 32-bit end offset per text:
// a hundred thousand names cost two allocations, not one per name. The
// connection's thread packs a listing this way, and a list takes the packed
// buffer over as its rows without copying a name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct PackedTexts {
  std::string text;                // all texts, one after the other
  std::vector<std::uint32_t> ends; // where each text ends in `text`

  std::size_t size() const { return ends.size(); }
  std::string_view at(std::size_t i) const {
    const std::uint32_t begin = i ? ends[i - 1] : 0;
    return std::string_view(text).substr(begin, ends[i] - begin);
  }
  void push(std::string_view utf8) {
    text.append(utf8);
    ends.push_back(static_cast<std::uint32_t>(text.size()));
  }
  bool operator==(const PackedTexts &other) const = default;
};
