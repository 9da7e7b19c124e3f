#pragma once
// Whole-file reads and crash-safe whole-file replacement.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace talvex::platform {

enum class ReadResult { Ok, Missing, Failed };

/// Files the program reads whole are a few kilobytes; this much is already absurd.
inline constexpr std::size_t kMaxWholeFileBytes = 8 * 1024 * 1024;

/// Reads the whole file into `contents`. Missing when there is no such file; Failed
/// when it exists but cannot be read, is no regular file (a pipe, a device, a folder;
/// links are followed) or holds more than maxBytes (contents are then empty). Never
/// waits for a writer.
ReadResult ReadWholeFile(const std::string& path, std::string& contents,
                         std::size_t maxBytes = kMaxWholeFileBytes);

/// Replaces the file's contents so that, whatever happens, the file holds either the
/// old contents or the new ones in full: the text goes to a temporary file in the same
/// folder, is flushed to the disk and then renamed over the file. Missing folders are
/// created (mode 0700). A link is followed, so the file it points to is replaced. A file
/// that exists keeps its permission bits; `mode` is for a new one.
/// False on any failure; the old file is untouched then and no temporary file stays.
/// `beforeRename` runs after the flush and before the rename (tests simulate a crash
/// there).
bool ReplaceFileContents(const std::string& path, std::string_view contents, unsigned mode,
                         const std::function<void()>& beforeRename = {});

/// The same for a file that is void after a restart of the machine: whatever happens
/// to the program, the file holds the old contents or the new ones in full, but
/// nothing waits for the disk, so a crash of the system may lose both.
bool ReplaceFileContentsUntilRestart(const std::string& path, std::string_view contents,
                                     unsigned mode);

}  // namespace talvex::platform
