#pragma once

// What every test program shares: a main() that keeps settings and network
// requests away from the user's world, a driver for the modal dialogs the
// program opens, pictures made on the spot (damaged and hostile ones too),
// folder snapshots, and a window set up to stamp nothing until asked.

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QDirIterator>
#include <QFileDialog>
#include <QHostAddress>
#include <QImageWriter>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkProxyFactory>
#include <QPointer>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <sys/resource.h>

#include "io/pictureio.h"
#include "windowprobe.h"

#define TARVELO_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        QStandardPaths::setTestModeEnabled(true);                                                  \
        TestSupport::settingsInTestFolder();                                                       \
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);                                   \
        QApplication app(argc, argv);                                                              \
        TestSupport::keepOffline();                                                                \
        QApplication::setStyle(QStringLiteral("fusion"));                                          \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

namespace TestSupport {

// ---- isolation ----

// In test mode QSettings ignores XDG_CONFIG_HOME and writes to one file shared
// by every test program; point it at this test's own folder (CTest sets one).
inline void settingsInTestFolder()
{
    const QByteArray folder = qgetenv("XDG_CONFIG_HOME");
    if (!folder.isEmpty())
        QSettings::setPath(
            QSettings::NativeFormat, QSettings::UserScope, QString::fromLocal8Bit(folder));
}

// Requests for any host but this machine go to this port on 127.0.0.1, as to
// an HTTP proxy: a closed port unless a test puts its own server there.
inline QAtomicInt &outsidePort()
{
    static QAtomicInt port(0);
    return port;
}

class LoopbackOnlyProxyFactory : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        const QHostAddress address(query.peerHostName());
        if (query.peerHostName() == QLatin1String("localhost") || address.isLoopback())
            return { QNetworkProxy(QNetworkProxy::NoProxy) };
        return { QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"),
            quint16(outsidePort().loadAcquire())) };
    }
};

// The window's update check starts with the window: refused at once, it
// neither reaches the internet nor brings up a box.
inline void keepOffline()
{
    QTcpServer probe;
    if (probe.listen(QHostAddress::LocalHost, 0))
        outsidePort().storeRelease(probe.serverPort());
    probe.close();
    QNetworkProxyFactory::setApplicationProxyFactory(new LoopbackOnlyProxyFactory);
}

// ---- modal dialogs ----

struct Seen
{
    QString className;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QMessageBox::StandardButton> buttons;
    int fileMode = -1; // of a file dialog
    bool dirsOnly = false;
    QStringList nameFilters;
};

// A message box as one line, "icon | title | text | buttons", so that a
// test compares all it showed at once.
inline QString boxText(QMessageBox::Icon icon, const QString &title, const QString &text,
    QList<QMessageBox::StandardButton> buttons)
{
    std::sort(buttons.begin(), buttons.end());
    QStringList names;
    for (const QMessageBox::StandardButton button : buttons)
        names << QString::number(button, 16);
    return QStringLiteral("%1 | %2 | %3 | %4").arg(icon).arg(title, text, names.join(','));
}

inline QString boxText(const Seen &seen)
{
    return boxText(seen.icon, seen.title, seen.text, seen.buttons);
}

// Answers the modal dialogs that come up while it exists, in the order
// scripted, and records what each showed. A dialog beyond the script or of
// another kind is recorded, counted in `unexpected` and dismissed, so that no
// test hangs on it and none is answered for a later test.
class Modals : public QObject
{
public:
    using Act = std::function<bool(QWidget *)>; // false: could not answer as scripted

    Modals()
    {
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, this, &Modals::poll);
        timer.start();
    }

    // Presses `button` on the next message box; NoButton presses Escape.
    Modals &box(QMessageBox::StandardButton button, std::function<void()> after = {})
    {
        return step(Box, after, [button](QWidget *modal) {
            auto *box = static_cast<QMessageBox *>(modal);
            if (button == QMessageBox::NoButton)
                QTest::keyClick(box, Qt::Key_Escape);
            else if (QAbstractButton *pressed = box->button(button))
                pressed->click();
            else
                return false;
            return true;
        });
    }
    // Types `path` into the next file dialog and presses Return; an empty
    // path cancels. `after` runs as soon as the dialog has answered.
    Modals &file(const QString &path, std::function<void()> after = {})
    {
        return step(File, after, [path](QWidget *modal) {
            auto *edit = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (path.isEmpty() || !edit) {
                static_cast<QDialog *>(modal)->reject();
            } else {
                edit->setText(path);
                QTest::keyClick(edit, Qt::Key_Return);
            }
            return true;
        });
    }
    // Hands the next modal widget of any kind to `act`.
    Modals &any(const Act &act) { return step(Any, {}, act); }

    bool done() const { return next >= steps.size(); }

    QList<Seen> seen;
    int unexpected = 0;

private:
    enum Kind { Any, Box, File };
    struct Step
    {
        Kind kind;
        std::function<void()> after;
        Act act;
    };

    Modals &step(Kind kind, std::function<void()> after, const Act &act)
    {
        steps.append({ kind, after, act });
        return *this;
    }

    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == handled.data())
            return;
        handled = modal;
        Seen record;
        record.className = QString::fromLatin1(modal->metaObject()->className());
        record.title = modal->windowTitle();
        auto *box = qobject_cast<QMessageBox *>(modal);
        auto *fileDialog = qobject_cast<QFileDialog *>(modal);
        if (box) {
            record.text = box->text();
            record.icon = box->icon();
            for (QAbstractButton *button : box->buttons())
                record.buttons << box->standardButton(button);
        }
        if (fileDialog) {
            record.fileMode = fileDialog->fileMode();
            record.dirsOnly = fileDialog->testOption(QFileDialog::ShowDirsOnly);
            record.nameFilters = fileDialog->nameFilters();
        }
        seen << record;

        const bool fits = next < steps.size()
            && (steps[next].kind == Any || (steps[next].kind == Box && box)
                || (steps[next].kind == File && fileDialog));
        const Step step = fits ? steps[next++] : Step {};
        if (!fits || !step.act(modal)) {
            ++unexpected;
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
            else
                modal->close();
        }
        if (step.after)
            step.after();
    }

    QTimer timer;
    QList<Step> steps;
    int next = 0;
    QPointer<QWidget> handled;
};

// ---- pictures ----

// Gradients with grain: every pixel differs enough from its neighbours to
// show a shift or a rescale, and JPEG quality makes a visible difference.
// `clearQuarter` makes the left quarter fully transparent.
inline QImage photoLike(int width, int height, quint32 seed = 1, bool clearQuarter = false)
{
    QImage image(width, height, clearQuarter ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    quint32 state = seed * 2654435761u + 12345u;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int grain = int(state >> 28) - 8;
            line[x] = qRgba(qBound(0, x * 255 / qMax(1, width - 1) + grain, 255),
                qBound(0, y * 255 / qMax(1, height - 1) + grain, 255),
                qBound(0, ((x + y) * 7 + int(seed) * 40) % 256 + grain, 255),
                clearQuarter && x < width / 4 ? 0 : 255);
        }
    }
    return image;
}

inline QImage solid(int width, int height, const QColor &colour)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

inline QByteArray encode(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    if (!writer.write(image))
        qFatal("cannot encode test picture as %s", format);
    return bytes;
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void putBigEndian(QByteArray &bytes, int at, quint32 value, int width)
{
    for (int k = 0; k < width; ++k)
        bytes[at + k] = char((value >> (8 * (width - 1 - k))) & 0xff);
}

// Real small pictures whose headers claim width x height: a few hundred
// bytes that would decode to gigabytes. JPEG and GIF stop at 65535 a side.
inline QByteArray jpegClaiming(int width, int height)
{
    QByteArray bytes = encode(photoLike(16, 16), "jpg", 50);
    for (int i = 2; i + 9 < bytes.size(); ++i)
        if (quint8(bytes[i]) == 0xff && quint8(bytes[i + 1]) >= 0xc0
            && quint8(bytes[i + 1]) <= 0xc2) {
            putBigEndian(bytes, i + 5, quint32(height), 2);
            putBigEndian(bytes, i + 7, quint32(width), 2);
            return bytes;
        }
    qFatal("no frame header in the test JPEG");
    return bytes;
}

inline QByteArray pngClaiming(int width, int height)
{
    QByteArray bytes = encode(photoLike(16, 16), "png");
    putBigEndian(bytes, 16, quint32(width), 4); // signature, length, "IHDR", width, height
    putBigEndian(bytes, 20, quint32(height), 4);
    quint32 crc = 0xffffffffu; // the header chunk's checksum must stay valid
    for (const char c : bytes.mid(12, 17)) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    putBigEndian(bytes, 29, ~crc, 4);
    return bytes;
}

inline QByteArray gifClaiming(int width, int height)
{
    QByteArray bytes("GIF89a", 6);
    const auto le16
        = [&bytes](int value) { bytes.append(char(value & 0xff)).append(char(value >> 8)); };
    le16(width);
    le16(height);
    bytes.append(QByteArray("\x80\x00\x00\x00\x00\x00\xff\xff\xff\x2c", 10)); // palette, frame
    le16(0);
    le16(0);
    le16(width);
    le16(height);
    return bytes.append(QByteArray("\x00\x02\x02\x44\x01\x00\x3b", 7));
}

// ---- folders ----

// Everything under `root` but `skip`: relative path -> file bytes, link
// target or a marker. Links are not followed.
inline QMap<QString, QByteArray> snapshot(const QString &root, const QString &skip = QString())
{
    QMap<QString, QByteArray> entries;
    QDirIterator walk(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        const QString path = walk.next();
        const QFileInfo info = walk.fileInfo();
        if (!skip.isEmpty() && (path + '/').startsWith(skip + '/'))
            continue;
        entries.insert(QDir(root).relativeFilePath(path),
            info.isSymLink()    ? "link:" + QFile::encodeName(info.symLinkTarget())
                : info.isDir()  ? QByteArray("folder")
                : info.isFile() ? readFile(path)
                                : QByteArray("special"));
    }
    return entries;
}

inline QStringList fileNames(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Lowers one of this process's limits (RLIMIT_FSIZE makes writes fail as on
// a full disk, for root too) until it goes out of scope.
class ResourceLimit
{
public:
    ResourceLimit(int resource, rlim_t value)
        : resource(resource)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(resource, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = value;
        setrlimit(resource, &lowered);
    }
    ~ResourceLimit() { setrlimit(resource, &saved); }

private:
    int resource;
    rlimit saved {};
};

// ---- rich text ----

inline QString plainText(const QString &richText)
{
    QTextDocument document;
    document.setHtml(richText);
    return document.toPlainText();
}

// The links of a rich text in order: target and the text it is on.
inline QList<QPair<QString, QString>> links(const QString &richText)
{
    QTextDocument document;
    document.setHtml(richText);
    QList<QPair<QString, QString>> found;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.isAnchor())
                continue;
            if (!found.isEmpty() && found.last().first == format.anchorHref())
                found.last().second += it.fragment().text();
            else
                found.append({ format.anchorHref(), it.fragment().text() });
        }
    return found;
}

// ---- the window ----

// Counts refreshes of the view: each one gives the font sample its style
// sheet again, which the toolkit answers with a StyleChange event. Every
// composition ends with one refresh.
class RefreshCounter : public QObject
{
public:
    explicit RefreshCounter(MainWindow &window)
    {
        WindowProbe::ui(window)->font_pr_label->installEventFilter(this);
    }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::StyleChange;
        return false;
    }
};

// A window over an empty store that stamps nothing until a test asks: no
// resize, no bar, no text, no logo, anchors top left with offsets 0, scale 1,
// full opacity, white DejaVu Sans 14.
inline std::unique_ptr<MainWindow> plainWindow(bool show = true)
{
    QSettings(QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo")).clear();
    auto window = std::make_unique<MainWindow>();
    Ui::MainWindow *ui = WindowProbe::ui(*window);
    ui->resize_check->setChecked(false);
    ui->shadow_spin->setValue(0);
    ui->wtrmark_edit->clear();
    ui->txt_topleft_btn->setChecked(true);
    ui->logo_topleft_btn->setChecked(true);
    for (QSpinBox *spin : { ui->x_spin, ui->y_spin, ui->txt_x_spin, ui->txt_y_spin })
        spin->setValue(0);
    ui->scale_spin->setValue(1.0);
    ui->logoOpacitySpin->setValue(100);
    ui->watermarkOpacitySpin->setValue(100);
    WindowProbe::textFont(*window) = QFont(QStringLiteral("DejaVu Sans"), 14);
    WindowProbe::textColor(*window) = Qt::white;
    if (show) {
        window->resize(1400, 900);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("the test window was not exposed");
    }
    return window;
}

// What the picture list does with a newly selected picture.
inline void loadPicture(MainWindow &window, const QImage &picture)
{
    WindowProbe::sourceImage(window) = PictureIO::toArgb32(picture);
    WindowProbe::stampedImage(window) = WindowProbe::sourceImage(window).copy();
    WindowProbe::composeStamp(window);
    WindowProbe::composeStamp(window);
    QCoreApplication::processEvents();
}

// The program's buttons act when the mouse button goes down.
inline void press(QAbstractButton *button)
{
    QTest::mousePress(button, Qt::LeftButton);
    QTest::mouseRelease(button, Qt::LeftButton);
}

} // namespace TestSupport
