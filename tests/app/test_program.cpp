// The program run as a process: a second copy ends at once with success, silently, and
// touches nothing; a copy that is gone leaves a lock the next one takes over; a bad
// --instrument option is refused with a message.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>

#include "gui_support.h"

namespace {

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GuiApp();
    ASSERT_TRUE(home_.isValid());
    QDir(home_.path()).mkpath("config");
    QDir(home_.path()).mkpath("data");
    QDir(home_.path()).mkpath("lock");
    QFile config(home_.filePath("sim.json"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(R"({"timeScale": 0, "instruments": [{"model": "TR7A", "serial": "SIM00001"}]})");
  }

  QProcess* Start() {
    auto* process = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", home_.filePath("config"));
    env.insert("XDG_DATA_HOME", home_.filePath("data"));
    env.insert("QUIVRA_LOCK_DIR", home_.filePath("lock"));
    env.insert("QUIVRA_UPDATE_SERVER", "off");
    process->setProcessEnvironment(env);
    process->start(QUIVRA_PROGRAM, {"--instrument=sim:" + home_.filePath("sim.json")});
    EXPECT_TRUE(process->waitForStarted(5000));
    processes_.emplace_back(process);
    return process;
  }

  QString LockPath() const { return home_.filePath("lock/KestrelPosAP.lock"); }

  // Every file under the folder (relative paths).
  static QStringList Files(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) files << QDir(folder).relativeFilePath(it.next());
    return files;
  }

  void TearDown() override {
    for (auto& p : processes_) {
      if (p->state() != QProcess::NotRunning) {
        p->kill();
        p->waitForFinished(5000);
      }
    }
  }

  QTemporaryDir home_;
  std::vector<std::unique_ptr<QProcess>> processes_;
};

TEST_F(ProgramTest, SecondCopyEndsSilentlyAndTouchesNothing) {
  QLockFile first(LockPath());
  ASSERT_TRUE(first.tryLock(0));
  QProcess* second = Start();
  ASSERT_TRUE(second->waitForFinished(10000));
  EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second->exitCode(), 0);
  EXPECT_EQ(second->readAllStandardOutput(), QByteArray());
  EXPECT_EQ(second->readAllStandardError(), QByteArray());
  EXPECT_TRUE(Files(home_.filePath("config")).isEmpty());
  EXPECT_TRUE(Files(home_.filePath("data")).isEmpty());
  EXPECT_EQ(Files(home_.filePath("lock")), QStringList{"KestrelPosAP.lock"});
}

TEST_F(ProgramTest, RunningCopyHoldsTheLockAndAGoneOneLeavesItToTheNext) {
  QProcess* running = Start();
  // Probing with a lock of our own could take it before the program does: wait for the file.
  ASSERT_TRUE(WaitFor([&] { return QFile::exists(LockPath()); }, 10000));
  WaitFor([] { return false; }, 300);  // the program has written its lock's contents
  EXPECT_EQ(running->state(), QProcess::Running);
  {
    QLockFile probe(LockPath());
    EXPECT_FALSE(probe.tryLock(0));
  }
  QProcess* second = Start();
  ASSERT_TRUE(second->waitForFinished(10000));
  EXPECT_EQ(second->exitCode(), 0);
  EXPECT_EQ(running->state(), QProcess::Running);

  running->kill();  // a crash: the lock file stays behind
  ASSERT_TRUE(running->waitForFinished(5000));
  ASSERT_TRUE(QFile::exists(LockPath()));
  QLockFile next(LockPath());
  next.setStaleLockTime(0);
  EXPECT_TRUE(next.tryLock(0));
}

TEST_F(ProgramTest, BadInstrumentOptionIsRefused) {
  auto* process = new QProcess;
  processes_.emplace_back(process);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("QUIVRA_LOCK_DIR", home_.filePath("lock"));
  env.insert("QUIVRA_UPDATE_SERVER", "off");
  process->setProcessEnvironment(env);
  process->start(QUIVRA_PROGRAM, {"--instrument=bogus"});
  ASSERT_TRUE(process->waitForFinished(10000));
  EXPECT_EQ(process->exitCode(), 2);
  EXPECT_TRUE(process->readAllStandardError().startsWith("quivra: "));
}

}  // namespace
