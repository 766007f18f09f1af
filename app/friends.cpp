#include "app/friends.h"

// Text is decoded before it reaches the parser, which then only sees UTF-8 bytes. Debian's
// header keeps the template bodies behind SI_IMPLEMENTATION; its library holds only the
// ICU-converting instantiations, so this file instantiates the plain one itself.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <QByteArray>
#include <QCloseEvent>
#include <QColor>
#include <QFileInfo>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <QRegularExpression>
#include <QShowEvent>
#include <QSize>
#include <QStringDecoder>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <string>

#include "globe/core/codepage.h"

namespace orvane {
namespace {

// Notes are written by hand on Windows, so either UTF-8 or the ANSI code page.
std::string TextAsUtf8(QByteArray Bytes) {
  if (Bytes.startsWith("\xEF\xBB\xBF")) Bytes.remove(0, 3);
  QStringDecoder Decoder(QStringDecoder::Utf8);
  [[maybe_unused]] const QString Decoded = Decoder.decode(Bytes);
  if (!Decoder.hasError()) return Bytes.toStdString();
  return globe::AnsiToUtf8(std::string_view(Bytes.constData(), Bytes.size()));
}

// Windows profile semantics: case-insensitive names (CSimpleIniA), and the first of
// repeated keys wins, which needs the multi-key mode to keep them all.
bool LoadIni(CSimpleIniA& Ini, const std::string& Text) {
  Ini.SetMultiKey(true);
  return Ini.LoadData(Text) >= 0;
}

// The named sections in file order; keys before the first section are not a section.
CSimpleIniA::TNamesDepend NamedSections(const CSimpleIniA& Ini) {
  CSimpleIniA::TNamesDepend Sections;
  Ini.GetAllSections(Sections);
  Sections.remove_if([](const CSimpleIniA::Entry& E) { return E.pItem[0] == '\0'; });
  Sections.sort(CSimpleIniA::Entry::LoadOrder());
  return Sections;
}

// The value of the first plain line "name = value" whose name is Call.
QString PlainLineValue(const QString& Text, const QString& Call) {
  const QStringList Lines = Text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
  for (const QString& Line : Lines) {
    const qsizetype Eq = Line.indexOf(u'=');
    if (Eq < 0) continue;
    if (Line.first(Eq).trimmed().compare(Call, Qt::CaseInsensitive) == 0) {
      return Line.sliced(Eq + 1).trimmed();
    }
  }
  return {};
}

}  // namespace

std::optional<QStringList> ReadFriendsNotes(const QString& FileName, const QString& Call) {
  if (!QFileInfo(FileName).isFile()) return std::nullopt;
  const QString TrimmedCall = Call.trimmed();
  if (TrimmedCall.size() < 3) return std::nullopt;

  QStringList L;
  const std::optional<QByteArray> Bytes = ReadBoundedFile(FileName, MaxFriendsFileSize);
  if (!Bytes) return L;
  const std::string Text = TextAsUtf8(*Bytes);
  CSimpleIniA Ini;
  if (!LoadIni(Ini, Text)) return L;

  const std::string Key = TrimmedCall.toStdString();
  const CSimpleIniA::TNamesDepend Sections = NamedSections(Ini);
  for (const CSimpleIniA::Entry& Section : Sections) {
    const QString Value = QString::fromUtf8(Ini.GetValue(Section.pItem, Key.c_str(), ""));
    if (Value.isEmpty()) continue;
    // A plain substring test over the text gathered so far, as the notes are shown.
    if (!L.join(u'\n').contains(TrimmedCall)) L.append(TrimmedCall);
    L.append(Value);
  }
  if (Sections.empty()) {
    const QString Value = PlainLineValue(QString::fromStdString(Text), TrimmedCall);
    if (!Value.isEmpty()) L << TrimmedCall << Value;
  }
  return L;
}

TfrmFriends::TfrmFriends(const QString& LoggerInstallPath, TSettingsFile Settings, QWidget* Parent)
    : QWidget(Parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      Settings_(std::move(Settings)),
      FrameFit_(new TFrameFit(*this)),
      Memo1_(new QPlainTextEdit(this)) {
  setObjectName(QStringLiteral("frmFriends"));
  setWindowTitle(QStringLiteral("Friends"));
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  resize(267, 174);

  Memo1_->setObjectName(QStringLiteral("Memo1"));
  QFont MemoFont(QStringLiteral("Tahoma"));
  MemoFont.setPixelSize(13);
  Memo1_->setFont(MemoFont);
  QPalette Palette = Memo1_->palette();
  Palette.setColor(QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
  // Black on silver whatever the theme: a dark theme's light text would not show.
  Palette.setColor(QPalette::Text, QColor(0, 0, 0));
  Memo1_->setPalette(Palette);
  Memo1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1_->setTabChangesFocus(true);
  Memo1_->setFocusPolicy(Qt::ClickFocus);  // not reachable with the tab key

  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->addWidget(Memo1_);

  FormCreate();
  SetLoggerInstallPath(LoggerInstallPath);
}

void TfrmFriends::FormCreate() {
  const TWindowGeometry G =
      KeepOnScreen(Settings_.ReadWindow("Friends", DefaultFriendsGeometry), kFriendsMinimumSize);
  move(G.Left, G.Top);
  const QSize Outer(G.Width, G.Height);
  ResizeToOuter(*this, Outer);
  FrameFit_->Expect(Outer);
}

void TfrmFriends::Friends(const QString& call) {
  const std::optional<QStringList> Lines = ReadFriendsNotes(friendsini_, call);
  if (!Lines) return;
  QString Text;
  for (const QString& Line : *Lines) Text += Line + u'\n';
  Memo1_->setPlainText(Text);
}

TWindowGeometry TfrmFriends::Geometry() const {
  const QRect Outer = frameGeometry();
  return {Outer.top(), Outer.left(), Outer.height(), Outer.width()};
}

void TfrmFriends::SaveGeometry() const { Settings_.WriteWindow("Friends", Geometry()); }

void TfrmFriends::closeEvent(QCloseEvent* Event) {
  SaveGeometry();
  Event->accept();
}

}  // namespace orvane
