// Stream and Record without a database: text in its character set with the
// byte order mark, binary reading and writing, positions and truncation,
// lines, files, the errors of misuse; a Record over a recordset row.
#include <fstream>

#include "adodb_test_support.h"

namespace tarnel::adodb::testing {
namespace {

class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterAdodbClasses();
    stream_ = CreateObject(u"ADODB.Stream");
    dir_ = std::filesystem::temp_directory_path() / ("tt_stream_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Bytes() {
    Put(stream_.get(), u"Position", V(0));
    Put(stream_.get(), u"Type", V(adTypeBinary));
    Variant all = Call(stream_.get(), u"Read");
    return all.IsNull() ? std::string() : BytesOfArray(all);
  }

  ComPtr<Dispatch> stream_;
  std::filesystem::path dir_;
};

TEST_F(StreamTest, ClosedStreamRefusesEverythingButItsSettings) {
  EXPECT_EQ(ErrorOf([&] { Get(stream_.get(), u"Size"); }), adErrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { Get(stream_.get(), u"Position"); }), adErrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { Call(stream_.get(), u"ReadText"); }), adErrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { Call(stream_.get(), u"Close"); }), adErrObjectClosed);
  Put(stream_.get(), u"Charset", V(u"utf-8"));
  EXPECT_EQ(ErrorOf([&] { Put(stream_.get(), u"Charset", V(u"klingon")); }), adErrInvalidArgument);
  Call(stream_.get(), u"Open");
  EXPECT_EQ(ErrorOf([&] { Call(stream_.get(), u"Open"); }), adErrObjectOpen);
  EXPECT_EQ(Long(Get(stream_.get(), u"Size")), 0);
  EXPECT_TRUE(ToBool(Get(stream_.get(), u"EOS")));
}

TEST_F(StreamTest, UnicodeTextCarriesAByteOrderMark) {
  Call(stream_.get(), u"Open");
  Call(stream_.get(), u"WriteText", {V(u"test")});
  EXPECT_EQ(Long(Get(stream_.get(), u"Position")), 10);
  EXPECT_EQ(Long(Get(stream_.get(), u"Size")), 10);
  Put(stream_.get(), u"Position", V(0));
  EXPECT_EQ(Str(Call(stream_.get(), u"ReadText")), u"test");
  EXPECT_TRUE(ToBool(Get(stream_.get(), u"EOS")));
  EXPECT_EQ(Str(Call(stream_.get(), u"ReadText")), u"") << "at the end, an empty string";
  EXPECT_EQ(Bytes(), std::string("\xFF\xFEt\0e\0s\0t\0", 10));
}

TEST_F(StreamTest, LinesAndCharacterCountsInUtf8) {
  Put(stream_.get(), u"Charset", V(u"utf-8"));
  Call(stream_.get(), u"Open");
  Call(stream_.get(), u"WriteText", {V(u"gr\u00fc\u00dfe"), V(adWriteLine)});
  Call(stream_.get(), u"WriteText", {V(u"second")});
  Put(stream_.get(), u"Position", V(0));
  EXPECT_EQ(Str(Call(stream_.get(), u"ReadText", {V(adReadLine)})), u"gr\u00fc\u00dfe");
  EXPECT_EQ(Str(Call(stream_.get(), u"ReadText", {V(3)})), u"sec");
  EXPECT_EQ(Str(Call(stream_.get(), u"ReadText")), u"ond");
  EXPECT_EQ(Bytes(), std::string("\xEF\xBB\xBFgr\xC3\xBC\xC3\x9F" "e\r\nsecond"));
}

TEST_F(StreamTest, BinaryDataPositionsAndTruncation) {
  Put(stream_.get(), u"Type", V(adTypeBinary));
  Call(stream_.get(), u"Open");
  EXPECT_TRUE(Call(stream_.get(), u"Read", {V(4)}).IsNull()) << "nothing to read";
  EXPECT_EQ(ErrorOf([&] { Call(stream_.get(), u"Write", {Variant()}); }), adErrInvalidArgument);
  Call(stream_.get(), u"Write", {ByteArray(std::string("\x01\x02\x03\x04\x05", 5))});
  EXPECT_EQ(Long(Get(stream_.get(), u"Position")), 5);
  Put(stream_.get(), u"Position", V(2));
  EXPECT_EQ(BytesOfArray(Call(stream_.get(), u"Read", {V(2)})), std::string("\x03\x04", 2));
  Put(stream_.get(), u"Position", V(3));
  Call(stream_.get(), u"SetEOS");
  EXPECT_EQ(Long(Get(stream_.get(), u"Size")), 3);
  EXPECT_EQ(Long(Get(stream_.get(), u"Position")), 3);
  EXPECT_EQ(ErrorOf([&] { Put(stream_.get(), u"Position", V(-1)); }), adErrInvalidArgument);
  // Text methods on a binary stream, and the type away from position 0.
  EXPECT_EQ(ErrorOf([&] { Call(stream_.get(), u"ReadText"); }), adErrIllegalOperation);
  EXPECT_EQ(ErrorOf([&] { Call(stream_.get(), u"WriteText", {V(u"x")}); }), adErrIllegalOperation);
  EXPECT_EQ(ErrorOf([&] { Put(stream_.get(), u"Type", V(adTypeText)); }), adErrIllegalOperation);
  Put(stream_.get(), u"Position", V(0));
  Put(stream_.get(), u"Type", V(adTypeText));
  EXPECT_EQ(ErrorOf([&] { Call(stream_.get(), u"Read"); }), adErrIllegalOperation);
  EXPECT_EQ(ErrorOf([&] { Call(stream_.get(), u"Write", {ByteArray("x")}); }), adErrIllegalOperation);
}

TEST_F(StreamTest, SaveToFileAndLoadFromFile) {
  const UString path = FromUtf8((dir_ / "out.txt").string());
  Put(stream_.get(), u"Charset", V(u"iso-8859-1"));
  Call(stream_.get(), u"Open");
  Call(stream_.get(), u"WriteText", {V(u"caf\u00e9")});
  Call(stream_.get(), u"SaveToFile", {Variant(path)});
  EXPECT_EQ(Long(Get(stream_.get(), u"Position")), 0);
  EXPECT_EQ(ErrorOf([&] { Call(stream_.get(), u"SaveToFile", {Variant(path)}); }), adErrWriteFile)
      << "the file exists";
  Call(stream_.get(), u"SaveToFile", {Variant(path), V(adSaveCreateOverWrite)});
  std::ifstream in(ToUtf8(path), std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "caf\xE9");

  ComPtr<Dispatch> other = CreateObject(u"ADODB.Stream");
  Put(other.get(), u"Charset", V(u"iso-8859-1"));
  Call(other.get(), u"Open");
  Call(other.get(), u"WriteText", {V(u"to be replaced")});
  Call(other.get(), u"LoadFromFile", {Variant(path)});
  EXPECT_EQ(Long(Get(other.get(), u"Size")), 4);
  EXPECT_EQ(Str(Call(other.get(), u"ReadText")), u"caf\u00e9");
  EXPECT_EQ(ErrorOf([&] { Call(other.get(), u"LoadFromFile", {V(u"/nonexistent/file")}); }), adErrOpeningFile);
  EXPECT_EQ(ErrorOf([&] { Call(other.get(), u"SaveToFile", {V(u"/nonexistent/dir/file")}); }), adErrWriteFile);
}

TEST(RecordTest, ARecordIsACopyOfTheCurrentRowOfARecordset) {
  RegisterAdodbClasses();
  ComPtr<Dispatch> rs = CreateObject(u"ADODB.Recordset");
  ComPtr<Dispatch> fields = Obj(Get(rs.get(), u"Fields"));
  Call(fields.get(), u"Append", {V(u"name"), V(adVarWChar), V(10)});
  Call(rs.get(), u"Open", {Missing(), Missing(), V(adOpenStatic), V(adLockOptimistic)});
  ComPtr<Dispatch> record = CreateObject(u"ADODB.Record");
  EXPECT_EQ(ErrorOf([&] { Call(record.get(), u"Open", {Variant(rs.get())}); }), adErrNoCurrentRecord);
  Call(rs.get(), u"AddNew", {V(u"name"), V(u"row one")});
  Call(record.get(), u"Open", {Variant(rs.get())});
  EXPECT_EQ(Long(Get(record.get(), u"State")), adStateOpen);
  EXPECT_EQ(Str(Get(Obj(Get(Obj(Get(record.get(), u"Fields")).get(), u"Item", {V(0)})).get(), u"Value")), u"row one");
  EXPECT_EQ(ErrorOf([&] { Call(record.get(), u"GetChildren"); }), adErrFeatureNotAvailable);
  EXPECT_EQ(ErrorOf([&] { Call(record.get(), u"Open", {V(u"http://x")}); }), adErrObjectOpen);
  Call(record.get(), u"Close");
  EXPECT_EQ(ErrorOf([&] { Call(record.get(), u"Close"); }), adErrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { Call(record.get(), u"Open", {V(u"http://x")}); }), adErrFeatureNotAvailable);
}

}  // namespace
}  // namespace tarnel::adodb::testing
