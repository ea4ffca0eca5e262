#pragma once
#include <string>

namespace vantiro::test {

// A private X server (Xvfb with -displayfd, never a fixed number) that lives as
// long as the object; DISPLAY points at it meanwhile.
class XvfbDisplay {
public:
    XvfbDisplay();
    ~XvfbDisplay();
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    bool ok() const { return pid_ > 0 && !display_.empty(); }
    const std::string& display() const { return display_; }

private:
    int pid_ = -1;
    std::string display_;
    std::string previousDisplay_;
    bool hadDisplay_ = false;
};

}  // namespace vantiro::test
