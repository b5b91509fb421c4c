// A folder of the fuzz process's own for the files a target writes (in /dev/shm where there
// is one, so that writing them costs no disk), removed when the process ends normally, and
// the whole-file reads and writes the targets make in it.
#ifndef QUORVEX_FUZZ_SCRATCH_FOLDER_H
#define QUORVEX_FUZZ_SCRATCH_FOLDER_H

#include <cstdio>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace fuzzscratch {

inline const std::string &folder(const char *target) {
    struct Folder {
        std::string path;
        ~Folder() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static Folder made;
    if (made.path.empty()) {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        made.path =
            (base / (std::string("quorvex-") + target + "-" + std::to_string(getpid()))).string();
        std::filesystem::create_directories(made.path);
    }
    return made.path;
}

// The bytes of the file at `path` (none when it cannot be read), in one read.
inline std::string readFile(const std::string &path) {
    std::string bytes;
    if (FILE *in = std::fopen(path.c_str(), "rb")) {
        if (std::fseek(in, 0, SEEK_END) == 0) {
            const long size = std::ftell(in);
            std::rewind(in);
            bytes.resize(size > 0 ? static_cast<size_t>(size) : 0);
            bytes.resize(std::fread(&bytes[0], 1, bytes.size(), in));
        }
        std::fclose(in);
    }
    return bytes;
}

// Replaces the file at `path` with `bytes`; false when it could not be written whole.
inline bool writeFile(const std::string &path, const std::string &bytes) {
    FILE *out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    const bool whole = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && whole;
}

} // namespace fuzzscratch

#endif
