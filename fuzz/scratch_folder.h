// A folder of the fuzz process's own for the files a target writes (in /dev/shm where there
// is one, so that writing them costs no disk), removed when the process ends normally.
#ifndef QUORVEX_FUZZ_SCRATCH_FOLDER_H
#define QUORVEX_FUZZ_SCRATCH_FOLDER_H

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

} // namespace fuzzscratch

#endif
