// Import and export of .reg text files, the registry editor's exchange
// format: a header line, [key] sections, [-key] to delete a key tree, and
// "name"=data lines (strings, dword:, hex:, hex(T):, "name"=- to delete).
// Export writes UTF-16LE with a byte order mark; import reads that, UTF-8 or
// ANSI text, and REGEDIT4 files. Functions run on the caller's thread and
// use the store under its own rules.
#pragma once
#include <string>
#include <string_view>

#include "platform/registry/registry_store.h"

namespace tarnel {

// A malformed .reg file (kInvalidData), or a change in it the store refused
// (the store's number): the message names the file and the line.
class RegFileError : public RegistryError {
 public:
  RegFileError(RegErrorCode code, const std::string& file, int line, const std::string& message);
  int line() const noexcept { return line_; }  // 1-based; 0 when the error has no line

 private:
  int line_;
};

// Imports a whole file in one transaction: either every change in it lands,
// or (on any error) none. A key line creates the key and its parents.
// The bytes of hex(T) data are stored exactly as written (no terminator is
// added to string types); in a REGEDIT4 file, the bytes of string types are
// text of the file's character set and are converted to UTF-16LE.
// Throws RegFileError, or RegistryError when the file cannot be read.
void ImportRegFile(RegistryStore& store, const std::string& path);
// The same for file contents already read; sourceName names them in errors.
void ImportRegText(RegistryStore& store, std::string_view bytes, const std::string& sourceName);

// Writes the key, its values and all its subkeys, as the registry editor
// does, replacing the file at path in one step (a new file gets the usual
// permissions; a replaced one keeps its own). Throws RegistryError
// kFileNotFound when the key does not exist.
void ExportRegFile(RegistryStore& store, UStringView keyPath, const std::string& path);
// The file contents the export would write: UTF-16LE with a byte order mark.
std::string ExportRegText(RegistryStore& store, UStringView keyPath);

}  // namespace tarnel
