// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What every test program shares: a main() that keeps settings and network
// requests away from the user's world, a driver for the modal dialogs the
// program opens, pictures made on the spot and a window that stamps nothing
// until a test asks.

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <functional>
#include <memory>
#include <sys/resource.h>

#include "batch/batchrunner.h"
#include "io/pictureio.h"
#include "windowprobe.h"

// The window's update check goes to the maker's site: every request for a
// host other than this machine goes to an HTTP proxy on a closed port of
// 127.0.0.1, so it is refused at once (a test may put its own server there).
#define TARVELO_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        QStandardPaths::setTestModeEnabled(true);                                                  \
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME"); /* one per test */        \
        if (!config.isEmpty())                                                                     \
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);             \
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);                                   \
        QApplication app(argc, argv);                                                              \
        QTcpServer closed;                                                                         \
        closed.listen(QHostAddress::LocalHost);                                                    \
        TestSupport::proxyTo(closed.serverPort());                                                 \
        closed.close();                                                                            \
        QApplication::setStyle(QStringLiteral("fusion"));                                          \
        TestObject tc;                                                                             \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

namespace TestSupport {

// Returns the port requests went to before. Qt never proxies requests for
// the loopback addresses themselves.
inline quint16 proxyTo(quint16 port)
{
    const quint16 before = QNetworkProxy::applicationProxy().port();
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", port));
    return before;
}

// Answers the modal dialogs that come up while it exists, one answer each in
// order: a QMessageBox::StandardButton to press, or a path to type into a
// file dialog (an empty one cancels; `afterFile` runs once it is typed).
// Records "title | text" of each ("folders only" is a folder dialog's text);
// a dialog its answer does not fit is dismissed and counted, so that no test
// hangs on it.
class Modals : public QObject
{
public:
    explicit Modals(const QVariantList &answers, std::function<void()> afterFile = {})
        : answers(answers)
        , afterFile(afterFile)
    {
        connect(&timer, &QTimer::timeout, this, &Modals::poll);
        timer.start(5);
    }
    bool done() const { return seen.size() == answers.size() && unexpected == 0; }

    QStringList seen;
    int unexpected = 0;

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == handled.data())
            return;
        handled = modal;
        auto *box = qobject_cast<QMessageBox *>(modal);
        auto *edit = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        auto *files = qobject_cast<QFileDialog *>(modal);
        seen << modal->windowTitle() + " | "
                + (box ? box->text() : files && files->testOption(QFileDialog::ShowDirsOnly) ? "folders only" : "");
        const QVariant answer = answers.value(seen.size() - 1);
        const bool path = answer.userType() == QMetaType::QString;
        auto *button = box && !path ? box->button(QMessageBox::StandardButton(answer.toInt())) : nullptr;
        if (button) {
            button->click();
        } else if (edit && path && !answer.toString().isEmpty()) {
            edit->setText(answer.toString());
            QTest::keyClick(edit, Qt::Key_Return);
            if (afterFile)
                afterFile();
        } else {
            unexpected += !(edit && path);
            static_cast<QDialog *>(modal)->reject();
        }
    }

    QTimer timer;
    const QVariantList answers;
    const std::function<void()> afterFile;
    QPointer<QWidget> handled;
};

// Gradients with a random blue channel: every pixel differs from its
// neighbours, so a shift or a rescale shows, and no format compresses it
// much. `clearQuarter` makes the left quarter transparent.
inline QImage photoLike(int width, int height, quint32 seed = 1, bool clearQuarter = false)
{
    QImage image(width, height, clearQuarter ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba(x * 255 / width, y * 255 / height,
                (seed = seed * 1664525u + 1013904223u) >> 24, clearQuarter && x < width / 4 ? 0 : 255));
    return image;
}

inline QByteArray encode(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    image.save(&buffer, format, quality);
    return bytes;
}

// A picture read as a reader of its own reads it: the default limits, a
// buffer pool of its own.
inline PictureIO::ReadResult readPicture(const QString &path,
    const std::optional<Metadata::Wanted> &wanted = std::nullopt, QSize fit = QSize(),
    bool keepAspectRatio = true, bool fields = false)
{
    return PictureIO::readImage(
        path, PictureIO::ReadLimits(), PictureBuffers(), wanted, fit, keepAspectRatio, fields);
}

// One picture stamped as by a run of its own with one worker.
inline BatchResult stampAlone(const QString &path, const BatchOptions &options)
{
    return BatchRunner::stampOne(
        path, options, BatchRunner::limitsFor(options, 1), PictureBuffers());
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A JPEG segment: its marker, the length that counts itself, `body`.
inline QByteArray segment(char marker, const QByteArray &body)
{
    const int length = body.size() + 2;
    return QByteArray("\xff") + marker + char(length >> 8) + char(length & 0xff) + body;
}

// A real 16 x 16 JPEG whose frame header claims width x height: a few hundred
// bytes that would decode to gigabytes.
inline QByteArray jpegClaiming(int width, int height)
{
    QByteArray bytes = encode(photoLike(16, 16), "jpg", 50);
    const int frame = bytes.indexOf("\xff\xc0");
    for (int k = 0; k < 2; ++k) {
        bytes[frame + 5 + k] = char(height >> (8 - 8 * k));
        bytes[frame + 7 + k] = char(width >> (8 - 8 * k));
    }
    return bytes;
}

// A file of the tests' metadata packets, written by real photographers'
// tools (tests/data/metadata).
inline QByteArray data(const QString &name)
{
    return readFile(qEnvironmentVariable("TARVELO_TEST_DATA") + "/metadata/" + name);
}

// A small JPEG with the EXIF (a TIFF structure), XMP packet and comment
// given, in segments written after the JFIF header as editors write them.
inline QByteArray jpegWith(const QByteArray &exif, const QByteArray &xmp, const QByteArray &comment)
{
    const QByteArray jpeg = encode(photoLike(96, 64, 3), "jpg", 90);
    const int app0End = 4 + (quint8(jpeg[4]) << 8 | quint8(jpeg[5]));
    QByteArray segments;
    if (!exif.isEmpty())
        segments += segment('\xe1', QByteArray("Exif\0\0", 6) + exif);
    if (!xmp.isEmpty())
        segments += segment('\xe1', QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + xmp);
    if (!comment.isEmpty())
        segments += segment('\xfe', comment);
    return jpeg.left(app0End) + segments + jpeg.mid(app0End);
}

// Everything under `root`: relative path -> file bytes or link target.
inline QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> entries;
    QDirIterator walk(root, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        const QFileInfo info(walk.next());
        entries.insert(QDir(root).relativeFilePath(info.filePath()),
            info.isSymLink() ? QFile::encodeName(info.symLinkTarget())
                : info.isFile()  ? readFile(info.filePath()) // not a FIFO: that would block
                                 : "special");
    }
    return entries;
}

// Lowers one of this process's limits until the result goes: RLIMIT_FSIZE
// makes writes fail as on a full disk, for root too.
inline std::shared_ptr<void> lowerLimit(int resource, rlim_t value)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved {};
    getrlimit(resource, &saved);
    const rlimit lowered { value, saved.rlim_max };
    setrlimit(resource, &lowered);
    return std::shared_ptr<void>(nullptr, [=](void *) { setrlimit(resource, &saved); });
}

// A window over an empty store that stamps nothing until a test asks: no
// resize, no bar, no text, no logo, anchors top left at 0, white DejaVu Sans.
inline std::unique_ptr<MainWindow> plainWindow()
{
    QSettings(QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo")).clear();
    auto window = std::make_unique<MainWindow>();
    Ui::MainWindow *ui = WindowProbe::ui(*window);
    ui->resize_check->setChecked(false);
    ui->shadow_spin->setValue(0);
    ui->wtrmark_edit->clear();
    for (QSpinBox *spin : { ui->x_spin, ui->y_spin, ui->txt_x_spin, ui->txt_y_spin })
        spin->setValue(0);
    WindowProbe::textFont(*window) = QFont(QStringLiteral("DejaVu Sans"), 14);
    WindowProbe::textColor(*window) = Qt::white;
    window->show();
    return window;
}

// The running tarvelo-decoder processes that `parent` started.
inline QList<int> decodersOf(const QString &parent)
{
    QList<int> found;
    for (const QString &task : QDir("/proc/" + parent + "/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QByteArray &pid : readFile("/proc/" + parent + "/task/" + task + "/children").split(' ')) {
            const QString proc = "/proc/" + pid.trimmed();
            if (!pid.trimmed().isEmpty() && !readFile(proc + "/stat").contains(") Z ")
                && QFileInfo(proc + "/exe").symLinkTarget().endsWith("tarvelo-decoder"))
                found << pid.trimmed().toInt();
        }
    return found;
}

// The decoders' parent this test started (none or one).
inline QList<int> decoderParents()
{
    return decodersOf("self");
}

// The running decoders of this test, one for each picture being decoded,
// those that have `path` open when it is given.
inline QList<int> decoders(const QString &path = QString())
{
    QList<int> found;
    for (const int parent : decoderParents())
        for (const int pid : decodersOf(QString::number(parent))) {
            const QFileInfoList open = QDir(QString("/proc/%1/fd").arg(pid)).entryInfoList(QDir::Files | QDir::System);
            if (path.isEmpty()
                || std::any_of(open.begin(), open.end(),
                    [&](const QFileInfo &fd) { return fd.symLinkTarget() == path; }))
                found << pid;
        }
    return found;
}

// Selects a picture and waits until it is shown (or refused).
inline bool select(MainWindow &window, int row)
{
    WindowProbe::ui(window)->files_list->setCurrentRow(row);
    // A picture claiming a huge size takes the decoder a while to refuse.
    return QTest::qWaitFor([&] { return WindowProbe::settled(window); }, 60000);
}

// The program's buttons act when the mouse button goes down.
inline void press(QAbstractButton *button)
{
    QTest::mousePress(button, Qt::LeftButton);
    QTest::mouseRelease(button, Qt::LeftButton);
}

// Puts the logo at the anchor `anchor` (0 to 8, in reading order) and the
// text at the opposite one.
inline void placeAt(Ui::MainWindow *ui, int anchor)
{
    // clang-format off
    QAbstractButton *logoAt[] = { ui->logo_topleft_btn, ui->logo_top_btn, ui->logo_topright_btn, ui->logo_left_btn, ui->logo_center_btn, ui->logo_right_btn, ui->logo_botleft_btn, ui->logo_bot_btn, ui->logo_botright_btn };
    QAbstractButton *textAt[] = { ui->txt_topleft_btn, ui->txt_top_btn, ui->txt_topright_btn, ui->txt_left_btn, ui->txt_center_btn, ui->txt_right_btn, ui->txt_botleft_btn, ui->txt_bot_btn, ui->txt_botright_btn };
    // clang-format on
    logoAt[anchor]->setChecked(true);
    textAt[8 - anchor]->setChecked(true);
}

// Stamps the list through the start button into `out`, saying Yes to a run
// without text or without logo (none is being read) and OK to the end box;
// false, and the boxes seen on the console, when they were others.
inline bool stampAll(MainWindow &window, const QString &out)
{
    Ui::MainWindow *ui = WindowProbe::ui(window);
    QVariantList answers { out };
    if (ui->wtrmark_edit->text().trimmed().isEmpty())
        answers << QMessageBox::Yes;
    if (WindowProbe::logoImage(window).isNull() && !WindowProbe::readingLogo(window))
        answers << QMessageBox::Yes;
    Modals modals(answers << QMessageBox::Ok);
    press(ui->start_btn);
    const bool done = QTest::qWaitFor([&] { return modals.done(); }, 10000);
    if (!done)
        qWarning("%s", qPrintable(modals.seen.join('\n')));
    return done;
}

} // namespace TestSupport
