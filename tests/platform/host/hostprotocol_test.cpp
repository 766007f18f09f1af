#include "platform/hostprotocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostfakes.h"

namespace {

using namespace platform::hostprotocol;
using hosttest::kBigHandle;
using hosttest::TFakeRegistry;
using hosttest::TFakeWindows;

TRequest MakeRequest(TOperation Op) {
  TRequest Request;
  Request.Id = 7;
  Request.Op = Op;
  return Request;
}

TEST(HostProtocol, RequestsSurviveTheWire) {
  std::vector<TRequest> Requests;
  {
    TRequest R = MakeRequest(TOperation::opOpenKey);
    R.Key = "Software\\Tovrin_Log3";
    R.CanCreate = true;
    Requests.push_back(R);
  }
  {
    TRequest R = MakeRequest(TOperation::opReadString);
    R.Id = kMaxId;
    R.Key = "Software\\Tovrin_Log3";
    R.Name = std::string("Inst\0all\"Pfad \xC3\xA4", 16);
    Requests.push_back(R);
  }
  {
    TRequest R = MakeRequest(TOperation::opFindTopLevel);
    R.ClassName = "TfmEditNewQso";
    Requests.push_back(R);
  }
  {
    TRequest R = MakeRequest(TOperation::opChildren);
    R.Window = kBigHandle;
    R.ClassName = "TPanel";
    Requests.push_back(R);
  }
  {
    TRequest R = MakeRequest(TOperation::opWindowText);
    R.Window = 1;
    R.BufferSize = kMaxBufferSize;
    Requests.push_back(R);
  }
  for (const TRequest& R : Requests) {
    const std::string Line = EncodeRequest(R);
    EXPECT_EQ(Line.find('\n'), std::string::npos) << Line;
    const auto Back = DecodeRequest(Line);
    ASSERT_TRUE(Back) << Line;
    EXPECT_EQ(*Back, R) << Line;
  }
}

TEST(HostProtocol, RefusesMalformedRequests) {
  const std::string LongName(kMaxName + 1, 'x');
  const char* const Lines[] = {
      "",
      "not json",
      "[1,2]",
      "{}",
      R"({"op":"findTopLevel","class":"A"})",
      R"({"id":0,"op":"findTopLevel","class":"A"})",
      R"({"id":-3,"op":"findTopLevel","class":"A"})",
      R"({"id":1.5,"op":"findTopLevel","class":"A"})",
      R"({"id":9007199254740992,"op":"findTopLevel","class":"A"})",
      R"({"id":"1","op":"findTopLevel","class":"A"})",
      R"({"id":1,"op":"formatDisk","class":"A"})",
      R"({"id":1,"op":"findTopLevel"})",
      R"({"id":1,"op":"findTopLevel","class":5})",
      R"({"id":1,"op":"openKey","key":"K"})",
      R"({"id":1,"op":"openKey","key":"K","create":"yes"})",
      R"({"id":1,"op":"readString","key":"K"})",
      R"({"id":1,"op":"children","parent":"-1","class":"A"})",
      R"({"id":1,"op":"children","parent":"01","class":"A"})",
      R"({"id":1,"op":"children","parent":"18446744073709551616","class":"A"})",
      R"({"id":1,"op":"children","parent":" 1","class":"A"})",
      R"({"id":1,"op":"children","parent":12,"class":"A"})",
      R"({"id":1,"op":"windowText","window":"1"})",
      R"({"id":1,"op":"windowText","window":"1","size":4097})",
      R"({"id":1,"op":"windowText","window":"1","size":1e300})",
      R"({"id":1,"op":"windowText","window":"1","size":-1})",
  };
  for (const char* Line : Lines) EXPECT_FALSE(DecodeRequest(Line)) << Line;
  const std::string TooLongName =
      std::string(R"({"id":1,"op":"findTopLevel","class":")") + LongName + "\"}";
  EXPECT_FALSE(DecodeRequest(TooLongName));
  const std::string TooLongLine =
      std::string(R"({"id":1,"op":"findTopLevel","class":"A","pad":")") +
      std::string(kMaxLine, 'p') + "\"}";
  EXPECT_FALSE(DecodeRequest(TooLongLine));
}

TEST(HostProtocol, AnswersSurviveTheWireAndRefuseWhatBreaksABound) {
  TAnswer Opened;
  Opened.Id = 3;
  Opened.Opened = true;
  TAnswer Value;
  Value.Id = 3;
  Value.Text = "/home/op/logger/";
  TAnswer NoValue;
  NoValue.Id = 3;
  TAnswer Window;
  Window.Id = 3;
  Window.Window = kBigHandle;
  TAnswer Kids;
  Kids.Id = 3;
  Kids.Windows = {5, kBigHandle, 2};
  const std::pair<TOperation, TAnswer> Cases[] = {
      {TOperation::opOpenKey, Opened},     {TOperation::opReadString, Value},
      {TOperation::opReadString, NoValue}, {TOperation::opFindTopLevel, Window},
      {TOperation::opChildren, Kids},      {TOperation::opWindowText, Value},
      {TOperation::opWindowText, NoValue},
  };
  for (const auto& [Op, Answer] : Cases) {
    const auto Back = DecodeAnswer(Op, EncodeAnswer(Op, Answer));
    ASSERT_TRUE(Back) << EncodeAnswer(Op, Answer);
    EXPECT_EQ(*Back, Answer);
  }

  std::string ManyKids = R"({"id":1,"windows":[)";
  for (std::size_t i = 0; i <= kMaxChildren; ++i)
    ManyKids += (i ? ",\"" : "\"") + std::to_string(i + 1) + "\"";
  ManyKids += "]}";
  const std::pair<TOperation, std::string> Bad[] = {
      {TOperation::opOpenKey, R"({"id":1})"},
      {TOperation::opOpenKey, R"({"ok":true})"},
      {TOperation::opReadString, R"({"id":1})"},
      {TOperation::opReadString, R"({"id":1,"value":7})"},
      {TOperation::opFindTopLevel, R"({"id":1,"window":5})"},
      {TOperation::opFindTopLevel, R"({"id":1,"window":"5x"})"},
      {TOperation::opChildren, R"({"id":1,"windows":["5","0"]})"},
      {TOperation::opChildren, R"({"id":1,"windows":"5"})"},
      {TOperation::opChildren, ManyKids},
      {TOperation::opWindowText, R"({"id":1,"text":")" + std::string(kMaxBufferSize, 'a') + "\"}"},
      {TOperation::opReadString,
       R"({"id":1,"value":")" + std::string(kMaxValueBytes + 1, 'a') + "\"}"},
  };
  for (const auto& [Op, Line] : Bad) EXPECT_FALSE(DecodeAnswer(Op, Line)) << Line.substr(0, 80);
}

TEST(HostProtocol, LineBufferJoinsPiecesAndBoundsALine) {
  TLineBuffer Buffer;
  ASSERT_TRUE(Buffer.Append("{\"a\""));
  EXPECT_FALSE(Buffer.NextLine());
  ASSERT_TRUE(Buffer.Append(":1}\r\n{\"b\":2}\n{\"c\""));
  EXPECT_EQ(Buffer.NextLine(), "{\"a\":1}");
  EXPECT_EQ(Buffer.NextLine(), "{\"b\":2}");
  EXPECT_FALSE(Buffer.NextLine());
  ASSERT_TRUE(Buffer.Append(":3}\n"));
  EXPECT_EQ(Buffer.NextLine(), "{\"c\":3}");
  EXPECT_FALSE(Buffer.NextLine());

  // Exactly the longest line is fine; one byte more without a break is not.
  TLineBuffer Full;
  EXPECT_TRUE(Full.Append(std::string(kMaxLine, 'x')));
  EXPECT_FALSE(Full.Append("x"));
}

TEST(HostProtocol, ServerCutsTextsToTheCallersBuffer) {
  struct TCase {
    std::string Text;
    std::size_t BufferSize;
    std::optional<std::string> Expected;
  };
  const std::string Call25 = "DL1ABCDEFGHIJKLMNOPQRSTUV";
  std::string Umlauts;
  for (int i = 0; i < 25; ++i) Umlauts += "\xC3\xA4";  // ä
  std::string Faces;
  for (int i = 0; i < 25; ++i) Faces += "\xF0\x9F\x98\x80";  // U+1F600, a surrogate pair in UTF-16
  const TCase Cases[] = {
      {Call25, 20, Call25.substr(0, 19)},
      {"DL1ABC", 20, "DL1ABC"},
      {Umlauts, 20, Umlauts.substr(0, 2 * 19)},
      {Faces, 20, Faces.substr(0, 4 * 19)},
      {std::string("AB\0CD", 5), 20, "AB"},
      {"\xC3", 20, "\xEF\xBF\xBD"},  // a torn character becomes U+FFFD, not a torn byte
      {"", 20, ""},
      {Call25, 1, ""},
      {Call25, 0, ""},
  };
  for (const TCase& Case : Cases) {
    TFakeRegistry Registry;
    TFakeWindows Windows;
    Windows.Texts[9] = Case.Text;
    TRequest Request = MakeRequest(TOperation::opWindowText);
    Request.Window = 9;
    Request.BufferSize = Case.BufferSize;
    const TAnswer Answer = AnswerRequest(Request, Registry, Windows);
    EXPECT_EQ(Answer.Id, 7u);
    EXPECT_EQ(Answer.Text, Case.Expected) << Case.Text << " in " << Case.BufferSize;
    EXPECT_EQ(Windows.LastBufferSize, Case.BufferSize);
  }
}

TEST(HostProtocol, ServerAnswersFromItsSources) {
  TFakeRegistry Registry;
  TFakeWindows Windows;
  Registry.Keys["Software\\Tovrin_Log3"]["InstallPath"] = "/opt/logger/";
  Registry.Keys["Software\\Tovrin_Log3"]["Huge"] = std::string(kMaxValueBytes + 1, 'v');
  Windows.TopLevels["TfmEditNewQso"] = kBigHandle;
  std::vector<hosttest::THandle> Many;
  for (std::size_t i = 0; i < 2 * kMaxChildren + 10; ++i) Many.push_back(i % 2 ? i : 0);
  Windows.Kids[{kBigHandle, "TPanel"}] = Many;

  TRequest Read = MakeRequest(TOperation::opReadString);
  Read.Key = "Software\\Tovrin_Log3";
  Read.Name = "InstallPath";
  EXPECT_EQ(AnswerRequest(Read, Registry, Windows).Text, "/opt/logger/");
  EXPECT_EQ(Registry.Opens, Registry.Closes);  // stateless: every open is closed again
  EXPECT_FALSE(Registry.Open);
  // A value too long for the wire is missing rather than cut to another path.
  Read.Name = "Huge";
  EXPECT_FALSE(AnswerRequest(Read, Registry, Windows).Text);
  Read.Key = "Software\\Other";
  EXPECT_FALSE(AnswerRequest(Read, Registry, Windows).Text);
  EXPECT_FALSE(Registry.Keys.count("Software\\Other"));  // reading never creates

  TRequest Open = MakeRequest(TOperation::opOpenKey);
  Open.Key = "Software\\New";
  EXPECT_FALSE(AnswerRequest(Open, Registry, Windows).Opened);
  Open.CanCreate = true;
  EXPECT_TRUE(AnswerRequest(Open, Registry, Windows).Opened);
  EXPECT_TRUE(Registry.Keys.count("Software\\New"));
  EXPECT_EQ(Registry.Opens, Registry.Closes + 2);  // the two failed opens opened nothing

  // No 0 handles and at most kMaxChildren, in the source's order.
  TRequest Kids = MakeRequest(TOperation::opChildren);
  Kids.Window = kBigHandle;
  Kids.ClassName = "TPanel";
  const TAnswer Listed = AnswerRequest(Kids, Registry, Windows);
  ASSERT_EQ(Listed.Windows.size(), kMaxChildren);
  for (std::size_t i = 0; i < Listed.Windows.size(); ++i) EXPECT_EQ(Listed.Windows[i], 2 * i + 1);
  EXPECT_LE(EncodeAnswer(TOperation::opChildren, Listed).size(), kMaxLine);

  // A source that throws reads as a missing window.
  Windows.Throw = true;
  TRequest Find = MakeRequest(TOperation::opFindTopLevel);
  Find.ClassName = "TfmEditNewQso";
  const TAnswer Failed = AnswerRequest(Find, Registry, Windows);
  EXPECT_EQ(Failed.Id, 7u);
  EXPECT_EQ(Failed.Window, 0u);
}

}  // namespace

namespace {

TEST(HostProtocol, ReadsJsonStrictly) {
  // Escapes, including a character beyond the 16-bit plane as a surrogate pair.
  const auto Escaped =
      DecodeRequest(R"( {"id":1,"op":"findTopLevel","class":"\u00e4\/\"\\\t\ud83d\ude00x"} )");
  ASSERT_TRUE(Escaped);
  EXPECT_EQ(Escaped->ClassName, "\xC3\xA4/\"\\\t\xF0\x9F\x98\x80x");
  // The writer's escapes read back, control characters included.
  TRequest Controls = MakeRequest(TOperation::opFindTopLevel);
  Controls.ClassName = std::string("a\x01\x1F\b\n\r\"\\/", 10) + std::string(1, '\0');
  EXPECT_EQ(DecodeRequest(EncodeRequest(Controls)), Controls);

  std::string Deep = R"({"id":1,"op":"findTopLevel","class":"A","x":)";
  for (int i = 0; i < 100; ++i) Deep += "[";
  const std::string Lines[] = {
      R"({"id":1,"op":"findTopLevel","class":"\ude00"})",           // a lone low surrogate
      R"({"id":1,"op":"findTopLevel","class":"\ud83dx"})",          // a high one without its pair
      "{\"id\":1,\"op\":\"findTopLevel\",\"class\":\"a\x01\"}",     // a raw control character
      "{\"id\":1,\"op\":\"findTopLevel\",\"class\":\"\xC3\"}",      // torn UTF-8
      "{\"id\":1,\"op\":\"findTopLevel\",\"class\":\"\xC0\xAF\"}",  // an overlong form
      R"({"id":1,"op":"findTopLevel","class":"\x"})",               // no such escape
      R"({"id":1,"op":"findTopLevel","class":"A"} x)",              // something after the object
      R"({"id":1,"op":"findTopLevel","class":"A",})",
      R"({"id":01,"op":"findTopLevel","class":"A"})",  // not a JSON number
      R"({"id":1e999,"op":"findTopLevel","class":"A"})",
      Deep,
  };
  for (const std::string& Line : Lines) EXPECT_FALSE(DecodeRequest(Line)) << Line;
  EXPECT_EQ(ValidUtf8("a\xC3\xA4\xC3z\xED\xA0\x80"),
            "a\xC3\xA4\xEF\xBF\xBDz\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(HostProtocol, PathsAndUnansweredRequestsSurviveTheWire) {
  TRequest Path = MakeRequest(TOperation::opUnixPath);
  Path.Path = "C:\\Tovrin_Log3\\";
  EXPECT_EQ(EncodeRequest(Path), R"({"id":7,"op":"unixPath","path":"C:\\Tovrin_Log3\\"})");
  EXPECT_EQ(DecodeRequest(EncodeRequest(Path)), Path);

  TAnswer Unix;
  Unix.Id = 7;
  Unix.Text = "/home/op/.wine/dosdevices/c:/Tovrin_Log3/";
  TAnswer Native;
  Native.Id = 7;
  Native.NotUnderWine = true;
  TAnswer Late;
  Late.Id = 7;
  Late.Unanswered = true;
  for (const TOperation Op : {TOperation::opUnixPath, TOperation::opFindTopLevel})
    EXPECT_EQ(DecodeAnswer(Op, EncodeAnswer(Op, Late)), Late);
  for (const TAnswer& Answer : {Unix, Native})
    EXPECT_EQ(DecodeAnswer(TOperation::opUnixPath, EncodeAnswer(TOperation::opUnixPath, Answer)),
              Answer);
  EXPECT_EQ(EncodeAnswer(TOperation::opWindowText, Late), R"({"id":7,"unanswered":true})");
  EXPECT_FALSE(DecodeAnswer(TOperation::opWindowText, R"({"id":7,"unanswered":false})"));
  EXPECT_FALSE(DecodeAnswer(TOperation::opUnixPath, R"({"id":7,"path":null,"wine":0})"));
  EXPECT_EQ(LineId(R"({"id":12,"error":"x"})"), 12u);
  EXPECT_FALSE(LineId(EncodeError("not a request")));
}

TEST(HostProtocol, ServerSaysWhenTheLoggerDidNotAnswer) {
  // Windows that answer nothing in time, as the bridge's do while the logger hangs.
  struct TSlow final : platform::TWindowLookup {
    THandle FindTopLevel(std::string_view) override { return 0; }
    std::vector<THandle> Children(THandle, std::string_view) override { return {}; }
    std::optional<std::string> WindowText(THandle, std::size_t) override { return std::nullopt; }
    bool LastCallUnanswered() const noexcept override { return true; }
  } Slow;
  TFakeRegistry Registry;
  for (const TOperation Op :
       {TOperation::opFindTopLevel, TOperation::opChildren, TOperation::opWindowText}) {
    TRequest Request = MakeRequest(Op);
    Request.Window = 5;
    EXPECT_TRUE(AnswerRequest(Request, Registry, Slow).Unanswered);
  }
  // Registry reads and paths do not depend on the logger's windows.
  TRequest Open = MakeRequest(TOperation::opOpenKey);
  Open.Key = "Software\\Tovrin_Log3";
  Open.CanCreate = true;
  EXPECT_FALSE(AnswerRequest(Open, Registry, Slow).Unanswered);
  TRequest Path = MakeRequest(TOperation::opUnixPath);
  Path.Path = "C:\\";
  EXPECT_TRUE(AnswerRequest(Path, Registry, Slow).NotUnderWine);  // no translator given
}

}  // namespace
