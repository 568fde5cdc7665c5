#pragma once

#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <string_view>

namespace sondralis {

// A string that takes one pointer of room: nullptr when empty, otherwise a
// heap block holding the length and the characters. Track points carry a
// dozen text fields that are almost always empty; with std::string (32 bytes
// each) those empty fields alone would double the memory of a big recording.
class CompactString {
 public:
  CompactString() noexcept = default;
  CompactString(std::string_view text) { Assign(text); }  // NOLINT: implicit on purpose
  CompactString(const std::string& text) { Assign(text); }  // NOLINT
  CompactString(const char* text) { Assign(text ? std::string_view(text) : std::string_view()); }  // NOLINT
  CompactString(const CompactString& other) { Assign(other.view()); }
  CompactString(CompactString&& other) noexcept : fData(other.fData) { other.fData = nullptr; }
  ~CompactString() { Release(); }

  CompactString& operator=(const CompactString& other) {
    if (this != &other) Assign(other.view());
    return *this;
  }
  CompactString& operator=(CompactString&& other) noexcept {
    if (this != &other) {
      Release();
      fData = other.fData;
      other.fData = nullptr;
    }
    return *this;
  }
  CompactString& operator=(std::string_view text) {
    Assign(text);
    return *this;
  }
  CompactString& operator=(const std::string& text) { return *this = std::string_view(text); }
  CompactString& operator=(const char* text) { return *this = std::string_view(text ? text : ""); }

  bool empty() const noexcept { return fData == nullptr; }
  std::size_t size() const noexcept {
    if (!fData) return 0;
    std::uint32_t n;
    std::memcpy(&n, fData, sizeof n);
    return n;
  }
  const char* data() const noexcept { return fData ? fData + sizeof(std::uint32_t) : ""; }
  const char* c_str() const noexcept { return data(); }
  std::string_view view() const noexcept { return {data(), size()}; }
  std::string str() const { return std::string(view()); }
  operator std::string_view() const noexcept { return view(); }  // NOLINT: implicit on purpose
  void clear() noexcept { Release(); }

  friend bool operator==(const CompactString& a, const CompactString& b) noexcept { return a.view() == b.view(); }
  friend bool operator==(const CompactString& a, std::string_view b) noexcept { return a.view() == b; }
  friend bool operator==(const CompactString& a, const char* b) noexcept { return a.view() == std::string_view(b); }
  friend bool operator==(const CompactString& a, const std::string& b) noexcept { return a.view() == b; }
  friend std::ostream& operator<<(std::ostream& os, const CompactString& s) { return os << s.view(); }
  friend std::string operator+(const std::string& a, const CompactString& b) { return a + b.str(); }
  friend std::string operator+(const CompactString& a, const std::string& b) { return a.str() + b; }

 private:
  void Assign(std::string_view text);
  void Release() noexcept {
    delete[] fData;
    fData = nullptr;
  }

  char* fData = nullptr;
};

inline void CompactString::Assign(std::string_view text) {
  if (text.empty()) {
    Release();
    return;
  }
  const auto n = static_cast<std::uint32_t>(text.size());
  char* block = new char[sizeof n + n + 1];
  std::memcpy(block, &n, sizeof n);
  std::memcpy(block + sizeof n, text.data(), n);
  block[sizeof n + n] = '\0';
  Release();
  fData = block;
}

}  // namespace sondralis
