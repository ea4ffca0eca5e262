#include "support/scoped_env.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace vantiro::test {

ScopedEnv::ScopedEnv(std::string name, const char* value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    if (value)
        ::setenv(name_.c_str(), value, 1);
    else
        ::unsetenv(name_.c_str());
}

ScopedEnv::~ScopedEnv() {
    if (old_)
        ::setenv(name_.c_str(), old_->c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

ScopedWorkingDir::ScopedWorkingDir(const std::string& dir)
    : old_(std::filesystem::current_path().string()) {
    std::filesystem::current_path(dir);
}

ScopedWorkingDir::~ScopedWorkingDir() {
    std::error_code ignored;
    std::filesystem::current_path(old_, ignored);
}

}  // namespace vantiro::test
