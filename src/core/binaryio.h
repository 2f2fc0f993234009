// A byte record for files this program writes and reads back itself
// (checkpoints): values in the machine's own representation, appended in
// order, and read back in the same order with every length checked.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

// 64-bit FNV-1a: enough to tell a damaged or different file from the one
// written (not a defence against deliberate forgery).
uint64_t fnv1a64(const void* data, size_t size, uint64_t hash = 14695981039346656037ULL);

class ByteWriter {
 public:
  template <typename T>
  void put(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>, "plain values only");
    const char* p = reinterpret_cast<const char*>(&value);
    bytes_.append(p, sizeof(T));
  }
  template <typename T>
  void putVector(const std::vector<T>& values) {
    static_assert(std::is_trivially_copyable_v<T>, "plain values only");
    put<uint64_t>(values.size());
    bytes_.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
  }
  void putString(const std::string& text) {
    put<uint64_t>(text.size());
    bytes_ += text;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// Thrown by ByteReader when the record ends early or a length is implausible.
struct ShortRecord : std::runtime_error {
  ShortRecord() : std::runtime_error("the record ends early") {}
};

class ByteReader {
 public:
  ByteReader(const char* data, size_t size) : data_(data), size_(size) {}

  template <typename T>
  T get() {
    static_assert(std::is_trivially_copyable_v<T>, "plain values only");
    T value;
    std::memcpy(&value, take(sizeof(T)), sizeof(T));
    return value;
  }
  // A vector written by putVector; its length must be `expected` (the reader
  // knows every length from the run's settings, so a damaged length never
  // makes it allocate).
  template <typename T>
  std::vector<T> getVector(size_t expected) {
    if (get<uint64_t>() != expected) throw ShortRecord();
    std::vector<T> values(expected);
    if (expected > 0) std::memcpy(values.data(), take(expected * sizeof(T)), expected * sizeof(T));
    return values;
  }
  // A string of at most `limit` characters.
  std::string getString(size_t limit) {
    const uint64_t size = get<uint64_t>();
    if (size > limit) throw ShortRecord();
    return std::string(take(size), size);
  }
  size_t remaining() const { return size_ - at_; }

 private:
  const char* take(size_t n) {
    if (n > size_ - at_) throw ShortRecord();
    const char* p = data_ + at_;
    at_ += n;
    return p;
  }
  const char* data_;
  size_t size_;
  size_t at_ = 0;
};
