// The Qt platform: message box, clipboard, clock, yield, working-folder files, separator.
#include <sys/stat.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTime>
#include <QTimer>

#include "qt/qt_platform.h"

using namespace ferolan;

class PlatformTest : public QObject {
  Q_OBJECT
  QString old_dir_;

 private slots:
  void init() { old_dir_ = QDir::currentPath(); }
  void cleanup() { QDir::setCurrent(old_dir_); }

  void message_box_is_modal_ok_only_with_its_title() {
    QtPlatform pf;
    QString title, text;
    int buttons = -1;
    bool modal = false;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      title = box->windowTitle();
      text = box->text();
      buttons = static_cast<int>(box->buttons().size());
      modal = box->isModal() && box->standardButton(box->buttons().value(0)) == QMessageBox::Ok;
      box->accept();
    });
    pf.message_box("Задайте хоча б одне значення рКа!", "Недостатньо даних!");
    QCOMPARE(title, QString::fromUtf8("Недостатньо даних!"));
    QCOMPARE(text, QString::fromUtf8("Задайте хоча б одне значення рКа!"));
    QCOMPARE(buttons, 1);
    QVERIFY(modal);
  }

  void unattended_message_does_not_wait() {
    QtPlatform pf;
    pf.set_unattended(true);
    pf.message_box("текст", "Некоректні дані!");  // would block the test if shown modally
    QVERIFY(!QApplication::activeModalWidget());
  }

  void clipboard_round_trip_keeps_every_character() {
    QtPlatform pf;
    const std::string table = "0,001\t2\t4\r\n400\t0,1\t0,2\r\n401\t0,11\t0,21\r\nλ – Ка\r\n";
    pf.set_clipboard_text(table);
    QCOMPARE(pf.clipboard_text(), table);
    pf.set_clipboard_text("");
    QCOMPARE(pf.clipboard_text(), std::string());
  }

  void bare_line_feeds_become_row_ends_and_carriage_returns_stay() {
    QtPlatform pf;
    pf.set_clipboard_text("0,001\t2\t4\n400\t0,1\t0,2\n");
    QCOMPARE(pf.clipboard_text(), std::string("0,001\t2\t4\r\n400\t0,1\t0,2\r\n"));
    // A text that already has carriage returns is taken as it is, lone line feeds included.
    pf.set_clipboard_text("1\t2\r\n3\n4\r\n");
    QCOMPARE(pf.clipboard_text(), std::string("1\t2\r\n3\n4\r\n"));
  }

  void files_are_read_from_the_working_folder() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QDir::setCurrent(dir.path());
    static const char kFile[] = "6.5e-05 1.00 1.55\r\n250 0.38 0.37\n\0tail";
    const QByteArray bytes(kFile, sizeof kFile - 1);
    {
      QFile f(dir.filePath("data.mdf"));
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(bytes);
    }
    QVERIFY(QDir(dir.path()).mkdir("folder"));
    QtPlatform pf;
    const auto text = pf.read_file("data.mdf");
    QVERIFY(text.has_value());
    QCOMPARE(QByteArray(text->data(), static_cast<qsizetype>(text->size())), bytes);
    QVERIFY(!pf.read_file("missing.mdf").has_value());
    QVERIFY(!pf.read_file("folder").has_value());
    // Behind a link, a device that never ends and a FIFO nobody writes: refused, not read.
    QVERIFY(QFile::link("/dev/zero", dir.filePath("zero.mdf")));
    QVERIFY(!pf.read_file("zero.mdf").has_value());
    QVERIFY(mkfifo(dir.filePath("pipe.mdf").toLocal8Bit().constData(), 0600) == 0);
    QVERIFY(!pf.read_file("pipe.mdf").has_value());
    QVERIFY(QFile::link("data.mdf", dir.filePath("link.mdf")));
    QVERIFY(pf.read_file("link.mdf").has_value());
  }

  void a_missing_document_does_not_open_and_the_folder_is_named() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QDir::setCurrent(dir.path());
    QVERIFY(QDir(dir.path()).mkdir("help.doc"));  // a folder is no document either
    QtPlatform pf;
    int failures = 0;
    pf.open_document("help.doc", [&] { ++failures; });
    pf.open_document("missing.doc", [&] { ++failures; });
    QCOMPARE(failures, 2);  // at once: no opener was started
    QVERIFY(!pf.opening());
    QCOMPARE(QString::fromStdString(pf.working_folder()),
             QDir::toNativeSeparators(QDir::currentPath()));
  }

  // The desktop's opener is a stand-in first on PATH; what it does decides the outcome,
  // reported from the event loop after open_document has returned.
  void the_openers_exit_status_is_seen_without_waiting_data() {
    QTest::addColumn<QByteArray>("opener");
    QTest::addColumn<bool>("fails");
    QTest::newRow("a program took the file") << QByteArray("#!/bin/sh\nexit 0\n") << false;
    QTest::newRow("no program for .doc") << QByteArray("#!/bin/sh\nexit 3\n") << true;
    QTest::newRow("the program failed") << QByteArray("#!/bin/sh\nexit 1\n") << true;
    QTest::newRow("killed") << QByteArray("#!/bin/sh\nkill -9 $$\n") << true;
    QTest::newRow("cannot start") << QByteArray("#!/nonexistent/interpreter\n") << true;
  }
  void the_openers_exit_status_is_seen_without_waiting() {
    QFETCH(QByteArray, opener);
    QFETCH(bool, fails);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QDir::setCurrent(dir.path());
    QVERIFY(QDir(dir.path()).mkdir("bin"));
    const QString marker = dir.filePath("started");
    {
      QFile f(dir.filePath("bin/xdg-open"));
      QVERIFY(f.open(QIODevice::WriteOnly));
      // Says what it was asked to open, then answers as the row wants.
      QByteArray script = opener;
      if (script.startsWith("#!/bin/sh"))
        script.insert(10, "printf '%s\\n' \"$@\" > '" + marker.toUtf8() + "'\n");
      f.write(script);
      f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    }
    {
      QFile doc(dir.filePath("help.doc"));
      QVERIFY(doc.open(QIODevice::WriteOnly));
    }
    const QByteArray old_path = qgetenv("PATH");
    qputenv("PATH", dir.filePath("bin").toUtf8() + ":" + old_path);
    QtPlatform pf;
    int failures = 0;
    pf.open_document("help.doc", [&] { ++failures; });
    QCOMPARE(failures, 0);  // the click returns before the opener answers
    QTRY_VERIFY(!pf.opening());
    qputenv("PATH", old_path);
    QCOMPARE(failures, fails ? 1 : 0);
    if (opener.startsWith("#!/bin/sh")) {
      QFile said(marker);
      QVERIFY(said.open(QIODevice::ReadOnly));
      QCOMPARE(QString::fromUtf8(said.readAll()), dir.filePath("help.doc") + "\n");
    }
  }

  void clock_counts_seconds_since_midnight() {
    QtPlatform pf;
    const double before = QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
    const double t = pf.clock_seconds();
    const double after = QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
    QVERIFY(t >= 0 && t < 86400);
    if (after >= before) QVERIFY(t >= before && t <= after);  // not across midnight
    QTest::qWait(30);
    const double later = pf.clock_seconds();
    if (later > t) QVERIFY(later - t >= 0.02 && later - t < 5);
  }

  // A frame is due once per interval, and never while the gate says no.
  void frames_are_spaced_and_gated() {
    QtPlatform pf;
    bool open = false;
    pf.set_frame_gate([&] { return open; });
    QVERIFY(!pf.frame_due());
    open = true;
    QElapsedTimer since;
    since.start();
    QVERIFY(pf.frame_due());
    const bool again = pf.frame_due();
    if (since.elapsed() < 10) QVERIFY(!again);  // within the same interval
    QTest::qWait(20);
    QVERIFY(pf.frame_due());
    pf.set_frame_gate(nullptr);
    QTest::qWait(20);
    QVERIFY(pf.frame_due());
  }

  // The waits of input are measured from the reset: the gap before a pass and the pass.
  void event_waits_are_measured() {
    QtPlatform pf;
    pf.reset_event_waits();
    QTest::qSleep(15);
    QMetaObject::invokeMethod(
        qApp, [] { QTest::qSleep(10); }, Qt::QueuedConnection);
    pf.yield();
    const QtPlatform::EventWaits w = pf.event_waits();
    QVERIFY(w.between >= std::chrono::milliseconds(15));
    QVERIFY(w.pass >= std::chrono::milliseconds(10));
    pf.reset_event_waits();
    QCOMPARE(pf.event_waits().pass.count(), 0);
    QTest::qSleep(5);
    pf.end_event_waits();
    QVERIFY(pf.event_waits().between >= std::chrono::milliseconds(5));
  }

  void yield_serves_pending_events() {
    QtPlatform pf;
    int served = 0;
    QTimer::singleShot(0, [&] { ++served; });
    QMetaObject::invokeMethod(
        qApp, [&] { ++served; }, Qt::QueuedConnection);
    pf.yield();
    QCOMPARE(served, 2);
  }
};

QTEST_MAIN(PlatformTest)
#include "platform_test.moc"
