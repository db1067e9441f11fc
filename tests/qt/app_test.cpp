// The program as a process: the screenshot mode, and closing the window in the middle of a
// search ends the process at once.
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class AppTest : public QObject {
  Q_OBJECT
  QString examples_;

  // Runs ferolan in the examples folder; returns false when it did not end in time.
  bool run(const QStringList& args, int timeout_ms, QProcess& p) {
    p.setWorkingDirectory(examples_);
    p.setProgram(QStringLiteral(FEROLAN_APP));
    p.setArguments(args);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start();
    if (!p.waitForStarted(10000)) return false;
    if (p.waitForFinished(timeout_ms)) return true;
    p.kill();
    p.waitForFinished(5000);
    return false;
  }

 private slots:
  void initTestCase() {
    examples_ = QString::fromLocal8Bit(qgetenv("FEROLAN_EXAMPLES"));
    QVERIFY2(QDir(examples_).exists("data.mdf"), "FEROLAN_EXAMPLES must name the examples folder");
  }

  void screenshot_of_the_window() {
    QTemporaryDir dir;
    const QString file = dir.filePath("window.png");
    QProcess p;
    QVERIFY(run({"--load", "--screenshot", file}, 30000, p));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    const QImage img(file);
    QCOMPARE(img.size(), QSize(928, 542));
    QCOMPARE(img.pixel(520, 10) | 0xFF000000u, qRgb(192, 192, 192));
    // The loaded spectra are drawn in black inside spectrs (116, 32, 401 × 253).
    int black = 0;
    for (int y = 32; y < 285; ++y)
      for (int x = 116; x < 517; ++x) black += (img.pixel(x, y) | 0xFF000000u) == qRgb(0, 0, 0);
    QVERIFY(black > 1000);
  }

  void bad_arguments_are_refused() {
    QProcess p;
    for (const QStringList& args : {QStringList{"--search", "fastest"}, QStringList{"--level", "4"},
                                    QStringList{"--zero", "1"}, QStringList{"--screenshot"}}) {
      QVERIFY(run(args, 10000, p));
      QCOMPARE(p.exitCode(), 2);
    }
  }

  void closing_during_a_search_ends_the_process_at_once() {
    QProcess p;
    QElapsedTimer t;
    t.start();
    // The most thorough optimisation of five constants runs far longer than the test waits.
    QVERIFY(run({"--load", "--level", "3", "--search", "opt", "--close-after", "500"}, 15000, p));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(!p.readAllStandardOutput().contains("search finished"));
    QVERIFY(t.elapsed() < 15000);
  }
};

QTEST_MAIN(AppTest)
#include "app_test.moc"
