// Stream: an in-memory sequence of bytes read and written as binary data or
// as text in a character set, with a position, saved to and loaded from
// files. Apartment-thread only.
#pragma once
#include <string>

#include "platform/adodb/adodb_enums.h"
#include "platform/adodb/stream_charset.h"
#include "platform/automation/dispatch_object.h"

namespace tarnel::adodb {

class Stream final : public DispatchObject<Stream> {
 public:
  static const TypeInfo& Type();
  static const CoClassInfo* Class();

  std::int32_t GetSize();
  bool GetEOS();
  std::int32_t GetPosition();
  void LetPosition(std::int32_t& value);
  std::int32_t GetType() { return type_; }
  void LetType(std::int32_t& value);
  std::int32_t GetLineSeparator() { return lineSeparator_; }
  void LetLineSeparator(std::int32_t& value);
  std::int32_t GetState() { return open_ ? adStateOpen : adStateClosed; }
  std::int32_t GetMode() { return mode_; }
  void LetMode(std::int32_t& value);
  UString GetCharset() { return charsetName_; }
  void LetCharset(UString& value);
  Variant Read(std::int32_t& numBytes);
  void Open(Variant& source, std::int32_t& mode, std::int32_t& options, Variant& userName, Variant& password);
  void Close();
  void SkipLine();
  void Write(Variant& buffer);
  void SetEOS();
  void CopyTo(Variant& destination, std::int32_t& charNumber);
  void Flush();
  void SaveToFile(UString& fileName, std::int32_t& options);
  void LoadFromFile(UString& fileName);
  UString ReadText(std::int32_t& numChars);
  void WriteText(UString& data, std::int32_t& options);
  void Cancel() {}

 private:
  void RequireOpen();
  void RequireText();
  void RequireBinary();
  void PutBytes(std::string_view bytes);
  UString Separator() const;
  // Skips the byte order mark when reading text from the start.
  void SkipMark();
  UString ReadLine();

  std::string data_;
  std::size_t position_ = 0;
  bool open_ = false;
  std::int32_t type_ = adTypeText;
  std::int32_t lineSeparator_ = adCRLF;
  std::int32_t mode_ = adModeUnknown;
  UString charsetName_ = u"Unicode";
  Charset charset_ = Charset::Unicode;
};

}  // namespace tarnel::adodb
