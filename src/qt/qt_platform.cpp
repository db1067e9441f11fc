#include "qt/qt_platform.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTime>
#include <QUrl>
#include <algorithm>
#include <cstdio>

#include "engine/import/import.h"

namespace ferolan {

namespace {
QString qs(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

QtPlatform::~QtPlatform() {
  // An opener ended now (it is killed) must not report to a window that has gone.
  for (QObject* p : openers_.children()) p->disconnect();
}

void QtPlatform::message_box(std::string_view text, std::string_view title) {
  if (unattended_) {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data());
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, qs(title), qs(text), QMessageBox::Ok, window_);
  box.exec();
}

std::string QtPlatform::clipboard_text() {
  // Rows of a pasted table end at carriage returns; spreadsheets on Linux and macOS copy
  // lines ending in a bare line feed.
  return with_row_ends(QGuiApplication::clipboard()->text().toStdString());
}

void QtPlatform::set_clipboard_text(std::string_view text) {
  QClipboard* cb = QGuiApplication::clipboard();
  cb->clear();
  cb->setText(qs(text));
}

double QtPlatform::clock_seconds() {
  return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

void QtPlatform::yield() {
  // Reading the clock costs a few nanoseconds; an event loop pass with nothing to do, some
  // microseconds.
  const auto start = std::chrono::steady_clock::now();
  if (start < next_serve_) return;
  QCoreApplication::processEvents();
  const auto end = std::chrono::steady_clock::now();
  if (last_pass_end_ != std::chrono::steady_clock::time_point{})
    waits_.between = std::max(waits_.between, start - last_pass_end_);
  waits_.pass = std::max(waits_.pass, end - start);
  last_pass_end_ = end;
  next_serve_ = end + kServeInterval;
}

void QtPlatform::end_event_waits() {
  waits_.between = std::max(waits_.between, std::chrono::steady_clock::now() - last_pass_end_);
}

void QtPlatform::reset_event_waits() {
  waits_ = {};
  last_pass_end_ = std::chrono::steady_clock::now();
}

bool QtPlatform::frame_due() {
  const auto now = std::chrono::steady_clock::now();
  if (now < next_frame_ || (frame_gate_ && !frame_gate_())) return false;
  next_frame_ = now + kFrameInterval;
  return true;
}

void QtPlatform::open_document(std::string_view file_name, std::function<void()> failed) {
  const QString path = QDir::current().absoluteFilePath(qs(file_name));
  if (!QFileInfo(path).isFile()) return failed();
  // QDesktopServices starts xdg-open detached and reports only that it started; xdg-open
  // exits with 3 when no program takes the file.
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (opener.isEmpty()) {
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) failed();
    return;
  }
  auto* p = new QProcess(&openers_);
  // Nothing reads the opener's output: a chatty document program must not fill a pipe.
  p->setStandardInputFile(QProcess::nullDevice());
  p->setStandardOutputFile(QProcess::nullDevice());
  p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  QObject::connect(p, &QProcess::errorOccurred, p, [p, failed](QProcess::ProcessError e) {
    if (e != QProcess::FailedToStart) return;  // the other errors end in finished
    failed();
    p->deleteLater();
  });
  QObject::connect(p, &QProcess::finished, p, [p, failed](int code, QProcess::ExitStatus status) {
    if (status != QProcess::NormalExit || code != 0) failed();
    p->deleteLater();
  });
  p->start(opener, {path});
}

std::string QtPlatform::working_folder() {
  return QDir::toNativeSeparators(QDir::currentPath()).toStdString();
}

std::optional<std::string> QtPlatform::read_file(std::string_view file_name) {
  const QString path = QDir::current().absoluteFilePath(qs(file_name));
  // A FIFO or a device (also behind a link) could block for ever or never end.
  if (!QFileInfo(path).isFile()) return std::nullopt;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray bytes = f.readAll();
  if (f.error() != QFileDevice::NoError) return std::nullopt;
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

char QtPlatform::decimal_separator() const {
  // The system's locale is read once: a search asks at every trial.
  if (decimal_ == 0) {
    const QString p = QLocale::system().decimalPoint();
    // The masks write one byte; a separator outside ASCII falls back to the point.
    decimal_ = p.size() == 1 && p[0].unicode() < 0x80 ? static_cast<char>(p[0].unicode()) : '.';
  }
  return decimal_;
}

}  // namespace ferolan
