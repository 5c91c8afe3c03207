// The online version check against a local HTTP server that answers, fails, stalls or
// floods; the questions and notices are read from the recording UI services.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "app/version_check.h"
#include "tests/report/qt_app_environment.h"
#include "ui/ui_services.h"

QUIVRA_QT_TEST_APPLICATION(QCoreApplication);

namespace {

// A one-request-at-a-time HTTP server on 127.0.0.1 with a scripted behaviour.
class TestServer : public QObject {
 public:
  enum class Mode { Respond, Stall, Trickle };

  TestServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* s = server_.nextPendingConnection()) {
        s->setParent(this);
        QObject::connect(s, &QTcpSocket::readyRead, this, [this, s] { OnRead(s); });
      }
    });
  }

  QString Address() const { return QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()); }

  // A complete response with the given status and body.
  void Answer(int status, const QByteArray& body) {
    mode = Mode::Respond;
    response = "HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Not Found") +
               "\r\nContent-Type: text/html\r\nContent-Length: " + QByteArray::number(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body;
  }

  Mode mode = Mode::Respond;
  QByteArray response;
  QByteArray requestLine;

 private:
  void OnRead(QTcpSocket* s) {
    QByteArray& seen = pending_[s];
    seen += s->readAll();
    if (!seen.contains("\r\n\r\n")) return;
    requestLine = seen.left(seen.indexOf("\r\n"));
    switch (mode) {
      case Mode::Respond:
        s->write(response);
        s->disconnectFromHost();
        break;
      case Mode::Stall:  // accepts and says nothing
        break;
      case Mode::Trickle: {  // headers, then one byte every 100 ms, for ever
        s->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n");
        auto* t = new QTimer(s);
        QObject::connect(t, &QTimer::timeout, s, [s] { s->write("1"); });
        t->start(100);
        break;
      }
    }
  }

  QTcpServer server_;
  QHash<QTcpSocket*, QByteArray> pending_;
};

class VersionCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetUi(&ui);
    qputenv("QUIVRA_UPDATE_SERVER", server.Address().toLatin1());
  }
  void TearDown() override {
    SetUi(nullptr);
    qunsetenv("QUIVRA_UPDATE_SERVER");
  }

  RecordingUi ui;
  TestServer server;
};

TEST(VersionCompare, FourUnsignedFieldsByTheDigitRule) {
  const struct {
    const char *current, *latest;
    bool upToDate;
  } cases[] = {
      {"1.0.3.3", "1.0.3.3", true},     {"1.0.3.3", "1.0.4", false},     {"1.0.3.3", "2", false},
      {"1.0.3.3", "1.0.3.3\r\n", true}, {"1.0.3.3", "1.0.3.10", false},  {"1.0.3.3", "1.0.2.99", true},
      {"1.0.3.3", "0", true},           {"1.0.3.3", "<html>", true},     {"1.0.3.3", "v1.0.3.4", false},
      {"1.0.3.3", "1.0.3.3.9", true},   {"1.0.3.3", "", true},           {"2.0", "1.9.9.9", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsUpToDate(QString::fromLatin1(c.current), QString::fromLatin1(c.latest)), c.upToDate)
        << c.current << " vs " << c.latest;
  }
  EXPECT_EQ(OwnVersionText(), "1.0.3.3");
  EXPECT_EQ(OwnVersionText(QStringLiteral("Quivra \t1.2.3.4\r\n")), "1.2.3.4");
}

TEST_F(VersionCheckTest, AsksOnlyWhenTheServerOffersANewerVersion) {
  const struct {
    int status;
    const char* body;
    bool asks;
  } cases[] = {
      {200, "1.0.3.3", false}, {200, "1.0.4", true}, {200, "2", true},
      {200, "1.0.3.3\r\n", false}, {404, "2", false}, {200, "", false},
  };
  for (const auto& c : cases) {
    ui.Clear();
    server.Answer(c.status, c.body);
    ui.AnswerButton(UiServices::Button::Cancel);
    EXPECT_FALSE(CheckNewVersion()) << c.body;
    const QStringList boxes = ui.Texts("box");
    ASSERT_EQ(boxes.size(), c.asks ? 1 : 0) << c.status << " " << c.body;
    if (c.asks) {
      EXPECT_EQ(boxes.front(), "Quivra has New Version. Would you want to download it ?");
      EXPECT_EQ(ui.calls.front().caption, "Information");
    }
    EXPECT_TRUE(ui.Texts("url").isEmpty());
    EXPECT_TRUE(ui.Texts("message").isEmpty());
    ui.buttons.clear();
  }
  EXPECT_EQ(server.requestLine, "GET /DB/uploads/SW/versions.asp?section=SOFTWARE_QV&keyword=QUIVRA HTTP/1.1");
}

TEST_F(VersionCheckTest, OkOpensTheDownloadNotifiesAndEndsTheProgram) {
  server.Answer(200, "1.0.4");
  ui.AnswerButton(UiServices::Button::Ok);
  ui.urlResult = 0;  // no handler for the address: the notice and the end still follow
  EXPECT_TRUE(CheckNewVersion());
  EXPECT_EQ(ui.Texts("url"), QStringList{server.Address() + "/DB/uploads/SW/Quivra_Installer.zip"});
  EXPECT_EQ(ui.Texts("message"),
            QStringList{"After download finished, please extract the file & launch the installer."});
  // The end is requested for when the program's event loop runs: it quits at once.
  QTimer::singleShot(5000, QCoreApplication::instance(), [] { QCoreApplication::exit(1); });
  EXPECT_EQ(QCoreApplication::exec(), 0);
}

TEST_F(VersionCheckTest, UnreachableOrSwitchedOffServerStartsSilently) {
  // A port nobody listens on.
  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
  const quint16 port = closed.serverPort();
  closed.close();
  qputenv("QUIVRA_UPDATE_SERVER", QStringLiteral("http://127.0.0.1:%1").arg(port).toLatin1());
  EXPECT_EQ(QueryLatestVersion("SOFTWARE_QV", "QUIVRA"), "0");
  EXPECT_FALSE(CheckNewVersion());
  qputenv("QUIVRA_UPDATE_SERVER", "off");
  server.Answer(200, "9.9.9.9");
  EXPECT_FALSE(CheckNewVersion());
  EXPECT_TRUE(server.requestLine.isEmpty());
  qputenv("QUIVRA_UPDATE_SERVER", "not a url");
  EXPECT_EQ(QueryLatestVersion("SOFTWARE_QV", "QUIVRA"), "0");
  EXPECT_TRUE(ui.calls.isEmpty());
}

TEST_F(VersionCheckTest, BlanksInTheQueryAreSentEncoded) {
  server.Answer(200, "1.2");
  EXPECT_EQ(QueryLatestVersionFrom(server.Address(), "SOFT WARE", "KEY WORD"), "1.2");
  EXPECT_EQ(server.requestLine, "GET /DB/uploads/SW/versions.asp?section=SOFT%20WARE&keyword=KEY%20WORD HTTP/1.1");
}

TEST_F(VersionCheckTest, StallingTricklingOrFloodingServersReadAsNoVersion) {
  VersionQueryLimits limits;
  limits.transferTimeoutMs = 300;
  limits.totalTimeoutMs = 1000;
  server.mode = TestServer::Mode::Stall;
  EXPECT_EQ(QueryLatestVersionFrom(server.Address(), "S", "K", limits), "0");
  server.mode = TestServer::Mode::Trickle;
  EXPECT_EQ(QueryLatestVersionFrom(server.Address(), "S", "K", limits), "0");
  // A declared body over the bound, and an undeclared one (ended by closing).
  server.Answer(200, QByteArray(1 << 20, '1'));
  EXPECT_EQ(QueryLatestVersionFrom(server.Address(), "S", "K"), "0");
  server.response = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + QByteArray(1 << 20, '2');
  EXPECT_EQ(QueryLatestVersionFrom(server.Address(), "S", "K"), "0");
  // Exactly at the bound is still an answer.
  server.Answer(200, QByteArray(kMaxVersionBodyBytes, '3'));
  EXPECT_EQ(QueryLatestVersionFrom(server.Address(), "S", "K").size(), kMaxVersionBodyBytes);
}

}  // namespace
