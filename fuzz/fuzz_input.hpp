// The input of a fuzz target as a file, for the readers that take a path: written to one
// temporary file per process, replaced by each input and removed at exit.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tbln::fuzz {

class InputFile {
  public:
    explicit InputFile(const std::string& suffix) {
        const char* tmp = std::getenv("TMPDIR");
        path_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/tbln-fuzz-" +
                std::to_string(::getpid()) + suffix;
    }
    ~InputFile() { std::remove(path_.c_str()); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Writes the input and returns the file's path.
    const std::string& Write(const std::uint8_t* data, std::size_t size) {
        if (FILE* f = std::fopen(path_.c_str(), "wb")) {
            if (size > 0) std::fwrite(data, 1, size, f);
            std::fclose(f);
        }
        return path_;
    }

  private:
    std::string path_;
};

}  // namespace tbln::fuzz
