#pragma once

#include <stdexcept>
#include <string>

namespace hg {

// An error raised inside a handler's work. Its message is code page 932 text, shown as it
// stands in the default error box.
class EHanagumoError : public std::runtime_error {
public:
    explicit EHanagumoError(const std::string& cp932Message) : std::runtime_error(cp932Message) {}
};

} // namespace hg
