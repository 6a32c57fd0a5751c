#pragma once

// A fresh folder under the system's temporary folder for one test, removed with everything
// in it when the test ends, even when a test left read-only folders behind.

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

class TTempDir {
  public:
    explicit TTempDir(const std::string& prefix = "dovrant-test-") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
        if (!::mkdtemp(pattern.data())) throw std::system_error(errno, std::generic_category());
        path_ = pattern + "/";
    }
    ~TTempDir() {
        std::error_code error;
        const std::filesystem::path root(path_);
        // Give every folder back its write and search bits so the removal can enter it.
        for (auto it = std::filesystem::recursive_directory_iterator(
                 root, std::filesystem::directory_options::skip_permission_denied, error);
             !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
            if (it->is_directory(error) && !it->is_symlink(error))
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, error);
        std::filesystem::permissions(root, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, error);
        std::filesystem::remove_all(root, error);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    // The folder, ending with "/".
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// The names in folder (no sub-folders entered), sorted; empty when it cannot be read.
inline std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(folder, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
