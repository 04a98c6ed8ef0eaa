#pragma once

#include <string>
#include <string_view>
#include <vector>

// Just enough JSON for batch mode's results: objects, arrays, strings,
// booleans and null, written compactly in the order given.
namespace kestrel::batch::json {

std::string quote(std::string_view text);

inline std::string boolean(bool value) {
    return value ? "true" : "false";
}

// "[a,b,...]" from items already in JSON.
std::string array(const std::vector<std::string>& items);

class Object {
  public:
    // `value` is already JSON.
    Object& raw(std::string_view key, std::string_view value);
    Object& text(std::string_view key, std::string_view value) { return raw(key, quote(value)); }
    Object& flag(std::string_view key, bool value) { return raw(key, boolean(value)); }
    Object& number(std::string_view key, long long value) {
        return raw(key, std::to_string(value));
    }
    bool empty() const { return body_.empty(); }
    std::string str() const { return "{" + body_ + "}"; }
    // The members without braces, to merge into another object.
    const std::string& members() const { return body_; }

  private:
    std::string body_;
};

}  // namespace kestrel::batch::json
