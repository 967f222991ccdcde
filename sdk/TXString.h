#pragma once

#include <string>
#include <string_view>

// The host's string: UTF-16 text. Values cross between host and module only through the SDK.
class TXString {
public:
  TXString() = default;
  TXString(std::u16string_view text) : text_(text) {}
  TXString(const char16_t* text) : text_(text ? text : u"") {}

  const std::u16string& GetStdUString() const { return text_; }
  const char16_t* GetData() const { return text_.c_str(); }
  size_t GetLength() const { return text_.size(); }
  bool IsEmpty() const { return text_.empty(); }

  operator std::u16string_view() const { return text_; }
  bool operator==(const TXString& other) const = default;

private:
  std::u16string text_;
};
