// Writing .reg files as the registry editor does: the header, then for each
// key its [path] line, its values and a blank line, then its subkeys in name
// order. Strings that a quoted form cannot carry exactly are written as
// hex(1): so that importing the file gives back the same bytes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/registry/reg_file.h"

namespace tarnel {
namespace {

constexpr std::size_t kHexWrapColumn = 77;

void AppendAscii(UString& out, std::string_view text) { out.append(text.begin(), text.end()); }

void AppendHex(UString& out, std::uint64_t value, int minDigits) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%0*llx", minDigits, static_cast<unsigned long long>(value));
  AppendAscii(out, buffer);
}

// A quoted name or string: backslash and quote escaped; line breaks as \r
// and \n, which the importer reads back.
void AppendQuoted(UString& out, UStringView text) {
  out += u'"';
  for (char16_t c : text) {
    switch (c) {
      case u'\\': out += u"\\\\"; break;
      case u'"': out += u"\\\""; break;
      case u'\r': out += u"\\r"; break;
      case u'\n': out += u"\\n"; break;
      default: out += c;
    }
  }
  out += u'"';
}

// REG_SZ data that round-trips as "text": one terminating NUL, no other
// NUL, no line breaks (which other readers of the format do not accept).
bool IsPlainString(const RegValue& value) {
  if (value.type != REG_SZ || value.data.size() < 2 || value.data.size() % 2 != 0) return false;
  UString text = FromUtf16LeBytes(value.data);
  if (text.back() != u'\0') return false;
  text.pop_back();
  return text.find_first_of(UStringView(u"\0\r\n", 3)) == UString::npos;
}

void AppendValue(UString& out, const RegValueInfo& info) {
  std::size_t lineStart = out.size();
  if (info.name.empty()) {
    out += u'@';
  } else {
    AppendQuoted(out, info.name);
  }
  out += u'=';
  const RegValue& v = info.value;
  if (IsPlainString(v)) {
    UString text = FromUtf16LeBytes(v.data);
    text.pop_back();
    AppendQuoted(out, text);
  } else if (v.type == REG_DWORD && v.data.size() == 4) {
    AppendAscii(out, "dword:");
    AppendHex(out, v.AsDword(), 8);
  } else {
    if (v.type == REG_BINARY) {
      AppendAscii(out, "hex:");
    } else {
      AppendAscii(out, "hex(");
      AppendHex(out, v.type, 1);
      AppendAscii(out, "):");
    }
    std::size_t column = out.size() - lineStart;
    for (std::size_t i = 0; i < v.data.size(); ++i) {
      AppendHex(out, v.data[i], 2);
      column += 2;
      if (i + 1 == v.data.size()) break;
      out += u',';
      ++column;
      if (column >= kHexWrapColumn) {
        out += u"\\\r\n  ";
        column = 2;
      }
    }
  }
  out += u"\r\n";
}

// The key's path with every name in the case it is stored in.
RegKeyPath StoredPath(RegistryStore& store, const RegKeyPath& given) {
  RegKeyPath path;
  path.root = given.root;
  for (const UString& name : given.names) {
    UString stored = name;
    for (const UString& sub : store.SubKeys(path.ToString())) {
      if (EqualsNoCase(sub, name)) stored = sub;
    }
    path.names.push_back(std::move(stored));
  }
  return path;
}

void AppendKey(RegistryStore& store, const RegKeyPath& path, UString& out) {
  UString text = path.ToString();
  out += u'[';
  out += text;
  out += u"]\r\n";
  for (const RegValueInfo& info : store.Values(text)) AppendValue(out, info);
  out += u"\r\n";
  for (const UString& sub : store.SubKeys(text)) AppendKey(store, path.Child(sub), out);
}

[[noreturn]] void FailWrite(const std::string& path, const std::string& what, int err) {
  RegErrorCode code = err == EACCES || err == EPERM || err == EROFS ? RegErrorCode::kAccessDenied
                      : err == ENOENT                             ? RegErrorCode::kFileNotFound
                                                                  : RegErrorCode::kIoFailed;
  throw RegistryError(code, "registry file '" + path + "' cannot be written: " + what + ": " + std::strerror(err));
}

// Writes the bytes to a new file next to path and renames it over path, so
// that path holds either the old contents or the complete new ones.
void ReplaceFile(const std::string& path, const std::string& bytes) {
  static std::atomic<unsigned> counter{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temp = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt == 100)) FailWrite(path, "creating '" + temp + "'", errno);
  }
  auto abandon = [&](const char* what) {
    int err = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    FailWrite(path, what, err);
  };
  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0 && ::fchmod(fd, existing.st_mode & 07777) != 0) abandon("setting its mode");
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) abandon("writing");
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) abandon("flushing");
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    FailWrite(path, "closing", err);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    FailWrite(path, "replacing it", err);
  }
}

}  // namespace

std::string ExportRegText(RegistryStore& store, UStringView keyPath) {
  RegKeyPath given = ParseKeyPath(keyPath);
  UString text;
  // One transaction: the file shows the tree as it was at one moment.
  store.Snapshot([&] {
    if (!store.KeyExists(keyPath)) {
      throw RegistryError(RegErrorCode::kFileNotFound, "registry key '" + ToUtf8(keyPath) + "' does not exist");
    }
    text = u"Windows Registry Editor Version 5.00\r\n\r\n";
    AppendKey(store, StoredPath(store, given), text);
  });
  std::vector<std::uint8_t> bytes = Utf16LeBytes(text);
  std::string out("\xFF\xFE");
  out.append(bytes.begin(), bytes.end());
  return out;
}

void ExportRegFile(RegistryStore& store, UStringView keyPath, const std::string& path) {
  ReplaceFile(path, ExportRegText(store, keyPath));
}

}  // namespace tarnel
