// Stream: binary and text reading and writing at a position, the
// character set's byte order mark, lines, and the files behind
// SaveToFile / LoadFromFile.
#include "platform/adodb/stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <fstream>
#include <sstream>

#include "platform/adodb/adodb_error.h"
#include "platform/adodb/adodb_values.h"

namespace tarnel::adodb {

void Stream::RequireOpen() {
  if (!open_) RaiseAdo(adErrObjectClosed, kSrcStream);
}

void Stream::RequireText() {
  RequireOpen();
  if (type_ != adTypeText) RaiseAdo(adErrIllegalOperation, kSrcStream);
}

void Stream::RequireBinary() {
  RequireOpen();
  if (type_ != adTypeBinary) RaiseAdo(adErrIllegalOperation, kSrcStream);
}

std::int32_t Stream::GetSize() {
  RequireOpen();
  return static_cast<std::int32_t>(data_.size());
}

bool Stream::GetEOS() {
  RequireOpen();
  return position_ >= data_.size();
}

std::int32_t Stream::GetPosition() {
  RequireOpen();
  return static_cast<std::int32_t>(position_);
}

void Stream::LetPosition(std::int32_t& value) {
  RequireOpen();
  if (value < 0) RaiseAdo(adErrInvalidArgument, kSrcStream);
  // A position past the end makes the stream longer (zero bytes).
  if (static_cast<std::size_t>(value) > data_.size()) data_.resize(static_cast<std::size_t>(value), '\0');
  position_ = static_cast<std::size_t>(value);
}

void Stream::LetType(std::int32_t& value) {
  if (value != adTypeBinary && value != adTypeText) RaiseAdo(adErrInvalidArgument, kSrcStream);
  if (open_ && position_ != 0) RaiseAdo(adErrIllegalOperation, kSrcStream);
  type_ = value;
}

void Stream::LetLineSeparator(std::int32_t& value) {
  if (value != adCRLF && value != adLF && value != adCR) RaiseAdo(adErrInvalidArgument, kSrcStream);
  lineSeparator_ = value;
}

void Stream::LetMode(std::int32_t& value) {
  if (open_) RaiseAdo(adErrObjectOpen, kSrcStream);
  if (value < 0 || (value & ~(0x1F | 0x400000))) RaiseAdo(adErrInvalidArgument, kSrcStream);
  mode_ = value;
}

void Stream::LetCharset(UString& value) {
  Charset charset;
  if (!CharsetFromName(value, charset)) RaiseAdo(adErrInvalidArgument, kSrcStream);
  if (open_ && (type_ != adTypeText || position_ != 0)) RaiseAdo(adErrIllegalOperation, kSrcStream);
  charsetName_ = value;
  charset_ = charset;
}

void Stream::Open(Variant& source, std::int32_t& mode, std::int32_t& options, Variant&, Variant&) {
  if (open_) RaiseAdo(adErrObjectOpen, kSrcStream);
  const Variant s = source.Deref();
  // Only the in-memory stream exists here: no URLs, no Record sources.
  if (!s.IsMissing() && !s.IsEmpty() && !(s.vt() == VT_BSTR && s.bstrVal().empty()))
    RaiseAdo(adErrFeatureNotAvailable, kSrcStream);
  if (options != adOpenStreamUnspecified && options != 0 && options != adOpenStreamAsync)
    RaiseAdo(adErrFeatureNotAvailable, kSrcStream);
  if (mode < 0 || (mode & ~(0x1F | 0x400000))) RaiseAdo(adErrInvalidArgument, kSrcStream);
  mode_ = mode;
  data_.clear();
  position_ = 0;
  open_ = true;
}

void Stream::Close() {
  RequireOpen();
  open_ = false;
  data_.clear();
  data_.shrink_to_fit();
  position_ = 0;
}

void Stream::Flush() { RequireOpen(); }

void Stream::PutBytes(std::string_view bytes) {
  if (position_ + bytes.size() > data_.size()) data_.resize(position_ + bytes.size());
  data_.replace(position_, bytes.size(), bytes);
  position_ += bytes.size();
}

void Stream::SetEOS() {
  RequireOpen();
  data_.resize(position_);
}

Variant Stream::Read(std::int32_t& numBytes) {
  RequireBinary();
  if (numBytes < adReadAll) RaiseAdo(adErrInvalidArgument, kSrcStream);
  if (position_ >= data_.size()) return Variant::Null();
  const std::size_t n = numBytes == adReadAll ? data_.size() - position_ : static_cast<std::size_t>(numBytes);
  const std::string bytes = data_.substr(position_, n);
  position_ += bytes.size();
  return ByteArray(bytes);
}

void Stream::Write(Variant& buffer) {
  RequireBinary();
  const Variant v = buffer.Deref();
  if (v.vt() != (VT_ARRAY | VT_UI1)) RaiseAdo(adErrInvalidArgument, kSrcStream);
  PutBytes(BytesOfArray(v));
}

UString Stream::Separator() const {
  switch (lineSeparator_) {
    case adLF: return u"\n";
    case adCR: return u"\r";
    default: return u"\r\n";
  }
}

void Stream::SkipMark() {
  if (position_ != 0) return;
  const std::string_view mark = ByteOrderMark(charset_);
  if (!mark.empty() && std::string_view(data_).substr(0, mark.size()) == mark) position_ = mark.size();
}

UString Stream::ReadLine() {
  const UString separator = Separator();
  UString line;
  while (position_ < data_.size()) {
    std::size_t used = 0;
    UString one = DecodeText(data_, position_, 1, charset_, used);
    if (used == 0) break;
    position_ += used;
    line += one;
    if (line.size() >= separator.size() && line.compare(line.size() - separator.size(), separator.size(), separator) == 0) {
      line.resize(line.size() - separator.size());
      break;
    }
  }
  return line;
}

UString Stream::ReadText(std::int32_t& numChars) {
  RequireText();
  if (numChars < adReadLine) RaiseAdo(adErrInvalidArgument, kSrcStream);
  SkipMark();
  if (position_ >= data_.size()) return {};
  if (numChars == adReadLine) return ReadLine();
  std::size_t used = 0;
  UString text = DecodeText(data_, position_, numChars == adReadAll ? -1 : numChars, charset_, used);
  position_ += used;
  return text;
}

void Stream::SkipLine() {
  RequireText();
  SkipMark();
  ReadLine();
}

void Stream::WriteText(UString& data, std::int32_t& options) {
  RequireText();
  if (options != adWriteChar && options != adWriteLine) RaiseAdo(adErrInvalidArgument, kSrcStream);
  if (data_.empty() && position_ == 0) PutBytes(ByteOrderMark(charset_));
  SkipMark();
  PutBytes(EncodeText(data, charset_));
  if (options == adWriteLine) PutBytes(EncodeText(Separator(), charset_));
}

void Stream::CopyTo(Variant& destination, std::int32_t& charNumber) {
  RequireOpen();
  const Variant d = destination.Deref();
  auto* target = d.vt() == VT_DISPATCH && d.pdispVal() ? dynamic_cast<Stream*>(d.pdispVal()) : nullptr;
  if (!target || target == this) RaiseAdo(adErrInvalidArgument, kSrcStream);
  target->RequireOpen();
  if (charNumber < -1) RaiseAdo(adErrInvalidArgument, kSrcStream);
  if (type_ == adTypeText && target->type_ == adTypeText) {
    // Text goes over character by character, in the target's charset.
    SkipMark();
    std::size_t used = 0;
    UString text = DecodeText(data_, position_, charNumber, charset_, used);
    position_ += used;
    std::int32_t plain = adWriteChar;
    target->WriteText(text, plain);
    return;
  }
  const std::size_t n = charNumber == -1 ? data_.size() - std::min(position_, data_.size())
                                         : static_cast<std::size_t>(charNumber);
  const std::string bytes = position_ < data_.size() ? data_.substr(position_, n) : std::string();
  position_ += bytes.size();
  target->PutBytes(bytes);
}

void Stream::SaveToFile(UString& fileName, std::int32_t& options) {
  RequireOpen();
  if (options != adSaveCreateNotExist && options != adSaveCreateOverWrite)
    RaiseAdo(adErrInvalidArgument, kSrcStream);
  if (fileName.empty()) RaiseAdo(adErrInvalidArgument, kSrcStream);
  const std::string path = ToUtf8(fileName);
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (options == adSaveCreateOverWrite ? O_TRUNC : O_EXCL);
  const int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) RaiseAdo(adErrWriteFile, kSrcStream, u"Write to file failed: " + FromUtf8(path));
  std::size_t done = 0;
  while (done < data_.size()) {
    const ssize_t n = ::write(fd, data_.data() + done, data_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      RaiseAdo(adErrWriteFile, kSrcStream);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) RaiseAdo(adErrWriteFile, kSrcStream);
  position_ = 0;
}

void Stream::LoadFromFile(UString& fileName) {
  RequireOpen();
  const std::string path = ToUtf8(fileName);
  std::ifstream in(path, std::ios::binary);
  if (fileName.empty() || !in) RaiseAdo(adErrOpeningFile, kSrcStream, u"File could not be opened: " + FromUtf8(path));
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) RaiseAdo(adErrReadFile, kSrcStream);
  std::string bytes = content.str();
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) RaiseAdo(adErrReadFile, kSrcStream);
  data_ = std::move(bytes);
  position_ = 0;
}

}  // namespace tarnel::adodb
