// Files for the helper programs, in UTF-8 paths on both systems (Windows
// converts to UTF-16 at each call): sizes, folders, a log line, a file
// replaced whole, and a record file that writers take turns on.
#pragma once

#include <string>

namespace platform {

// A replacement is written beside its file under the file's name, this and
// a few characters that make it unique (replace_file).
inline constexpr char k_replacement_infix[] = ".tmp-";

// The folder part of a path ("." when it has none on POSIX, empty on
// Windows), without a separator at its end.
std::string folder_of(const std::string& path);

// The size of a file in bytes; -1 when there is none (or it is a folder).
long long file_size(const std::string& path);

// Makes a folder and the folders above it that are missing; false when it
// does not exist (or cannot be written, on POSIX) afterwards.
bool make_folders(const std::string& path);

// Appends a line to a file made when missing, in one write with the
// system's line end ("\n", "\r\n"); false when it could not be written.
bool append_line(const std::string& path, const std::string& line);

// True when a file name fits the longest the system takes, counted as it
// counts: 255 bytes of UTF-8 on Linux, 255 UTF-16 code units on Windows.
bool name_fits(const std::string& name);

// The path made absolute against the current folder (as it stands when it
// already is absolute); as it stands when the current folder cannot be told.
std::string absolute_path(const std::string& path);

// Reads a whole file into bytes; false when it cannot be opened or read.
bool read_file(const std::string& path, std::string& bytes);

// Puts bytes in the file's place: a new file written beside it and renamed
// over it, so that a crash leaves the old file or the new one whole (the
// folder synced on POSIX, so that the rename itself is durable). False when
// it could not be done; the old file is then unchanged.
bool replace_file(const std::string& path, const std::string& bytes);

// What came of making a new entry at a name.
enum class new_entry {
  made,   // the entry is new and this program's
  taken,  // something holds the name already (a file, a folder, a link, even a dangling one)
  failed  // it could not be made for another reason, which error tells
};

// Makes a new empty file at path and closes it: never a file that exists,
// never through a link (POSIX: O_CREAT | O_EXCL | O_NOFOLLOW; Windows:
// CREATE_NEW with FILE_FLAG_OPEN_REPARSE_POINT, a reparse point refused).
new_entry create_new_file(const std::string& path, std::string& error);

// Gives a file a name that no entry holds, never replacing one (POSIX:
// renameat2 with RENAME_NOREPLACE, else a hard link and an unlink; Windows:
// MoveFileExW without MOVEFILE_REPLACE_EXISTING). Both in one folder tree.
new_entry move_to_new_name(const std::string& from, const std::string& to, std::string& error);

// Makes a new folder inside folder, named prefix and a few letters and
// digits that make it unique, that only this user may enter (POSIX
// mode 0700; on Windows it inherits its parent's access rules). Its path;
// empty when it cannot be made, error then says why.
std::string make_private_folder(const std::string& folder, const std::string& prefix,
                                std::string& error);

// True when some entry holds the name, a link too (even a dangling one).
bool name_taken(const std::string& path);

// Removes a file only while it is a regular file and empty; removes a
// folder only while it is empty. True when it is gone.
bool remove_empty_file(const std::string& path);
bool remove_empty_folder(const std::string& path);

// The folder, or the first folder above it, whose entries users other than
// this one may rename or remove, and so swap a file of this user's for a
// link: on POSIX one writable by all (S_IWOTH) without the sticky bit, or
// with it but owned by another user than this one or root, checked along
// the path as written and as its links resolve. Empty when there is none
// (always on Windows).
std::string open_to_others(const std::string& folder);

// A file held under an exclusive lock; what it is belongs to the system.
struct locked_file;

// Opens path, never through a link, and waits for its exclusive lock: to
// append to (made when missing) or only to read. A file replaced over the
// path while this waited is opened again, so the lock is on the file the
// path names. Null when it cannot be opened.
locked_file* open_locked(const std::string& path, bool append);

// Reads the locked file to its end; false on a read error.
bool read_locked(locked_file* file, std::string& bytes);

// Appends bytes to a file opened to append, in one write.
bool append_locked(locked_file* file, const std::string& bytes);

// Releases the lock and closes the file; false when what was written could
// not be closed.
bool close_locked(locked_file* file);

// True when a folder of that name exists (whether or not it may be
// written), so that a folder that cannot be used is told from one that is
// missing.
bool is_folder(const std::string& path);

}  // namespace platform
