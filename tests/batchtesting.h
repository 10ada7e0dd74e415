#pragma once

// Helpers shared by the picture list, batch run and picture file tests:
// pictures made on the spot (including damaged ones and ones whose header
// claims a gigantic size), folder snapshots to prove that nothing outside the
// output folder changed, a script that answers a sequence of modal dialogs,
// and a hook that acts at a chosen picture of a running batch.

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <functional>

namespace BatchTesting {

// ---- pictures ----

// A deterministic picture with gradients and grain, so that JPEG quality
// makes a visible difference and every pixel is distinct enough to catch
// shifted or rescaled output.
inline QImage photoLike(int width, int height, quint32 seed = 1, bool withAlpha = false)
{
    QImage image(width, height, withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    quint32 state = seed * 2654435761u + 12345u;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int grain = int(state >> 28) - 8;
            const int r = qBound(0, x * 255 / qMax(1, width - 1) + grain, 255);
            const int g = qBound(0, y * 255 / qMax(1, height - 1) + grain, 255);
            const int b = qBound(0, ((x + y) * 7 + int(seed) * 40) % 256 + grain, 255);
            const int a = withAlpha ? (x < width / 4 ? 0 : 255) : 255;
            line[x] = qRgba(r, g, b, a);
        }
    }
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
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size();
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

inline quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xffffffffu;
    for (const char c : data) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A small real JPEG whose frame header claims width x height (at most 65535
// each, the format's limit).
inline QByteArray jpegClaiming(int width, int height)
{
    QByteArray bytes = encode(photoLike(16, 16), "jpg", 50);
    for (int i = 2; i + 9 < bytes.size(); ++i) {
        if (quint8(bytes[i]) == 0xff && quint8(bytes[i + 1]) >= 0xc0
            && quint8(bytes[i + 1]) <= 0xc2) {
            putBigEndian(bytes, i + 5, quint32(height), 2);
            putBigEndian(bytes, i + 7, quint32(width), 2);
            return bytes;
        }
    }
    qFatal("no frame header in the test JPEG");
    return bytes;
}

// A small real PNG whose header claims width x height, with a valid checksum.
inline QByteArray pngClaiming(int width, int height)
{
    QByteArray bytes = encode(photoLike(16, 16), "png");
    // Signature (8), length (4), "IHDR" (4), width, height, ...
    putBigEndian(bytes, 16, quint32(width), 4);
    putBigEndian(bytes, 20, quint32(height), 4);
    putBigEndian(bytes, 29, crc32(bytes.mid(12, 17)), 4);
    return bytes;
}

// A tiny GIF (one 1x1 frame) whose logical screen and frame claim width x
// height (at most 65535 each).
inline QByteArray gifClaiming(int width, int height)
{
    QByteArray bytes("GIF89a", 6);
    const auto le16 = [&bytes](int value) {
        bytes.append(char(value & 0xff));
        bytes.append(char((value >> 8) & 0xff));
    };
    le16(width);
    le16(height);
    bytes.append(char(0x80)); // global colour table of two entries
    bytes.append(char(0));
    bytes.append(char(0));
    bytes.append(QByteArray("\x00\x00\x00\xff\xff\xff", 6));
    bytes.append(char(0x2c)); // image descriptor
    le16(0);
    le16(0);
    le16(width);
    le16(height);
    bytes.append(char(0));
    bytes.append(QByteArray("\x02\x02\x44\x01\x00", 5)); // LZW data
    bytes.append(char(0x3b));
    return bytes;
}

// ---- folders ----

// Everything under `root`: relative path -> content (file bytes, the target
// of a symbolic link, or a marker for a folder). Symbolic links are not
// followed.
inline QMap<QString, QByteArray> snapshot(
    const QString &root, const QString &skipFolder = QString())
{
    QMap<QString, QByteArray> entries;
    QDirIterator walk(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    const QString skip = skipFolder.isEmpty() ? QString() : QDir(skipFolder).absolutePath() + '/';
    while (walk.hasNext()) {
        const QString path = walk.next();
        if (!skip.isEmpty() && (path + '/').startsWith(skip))
            continue;
        const QFileInfo info = walk.fileInfo();
        QByteArray content;
        if (info.isSymLink())
            content = "link:" + QFile::encodeName(info.symLinkTarget());
        else if (info.isDir())
            content = "folder";
        else if (info.isFile())
            content = readFile(path);
        else
            content = "special";
        entries.insert(QDir(root).relativeFilePath(path), content);
    }
    return entries;
}

inline QStringList fileNames(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// ---- modal dialogs ----

struct SeenModal
{
    QString className;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QMessageBox::StandardButton> buttons;
    int fileMode = -1; // QFileDialog::FileMode of a file dialog
    bool dirsOnly = false;
    QStringList nameFilters;
};

// Answers the modal dialogs that appear, one after another, in the order
// they were scripted, and records what each one showed. A dialog beyond the
// script is recorded and dismissed so that no test can hang on it. Keep one
// script alive at a time: a finished one still dismisses what comes next.
class ModalScript : public QObject
{
public:
    ModalScript()
    {
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, this, &ModalScript::poll);
        timer.start();
    }

    // Presses `button` on the next message box (NoButton: Escape).
    ModalScript &box(QMessageBox::StandardButton button, std::function<void()> after = {})
    {
        steps.append({ false, button, QString(), after });
        return *this;
    }
    // Types `path` into the next file dialog and presses Return (an empty
    // path cancels). `after` runs as soon as the dialog has accepted.
    ModalScript &file(const QString &path, std::function<void()> after = {})
    {
        steps.append({ true, QMessageBox::NoButton, path, after });
        return *this;
    }

    QList<SeenModal> seen;
    int unexpected = 0;

    bool done() const { return next >= steps.size(); }

private:
    struct Step
    {
        bool fileDialog;
        QMessageBox::StandardButton button;
        QString path;
        std::function<void()> after;
    };

    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == handled.data())
            return;
        handled = modal;
        SeenModal record;
        record.className = QString::fromLatin1(modal->metaObject()->className());
        record.title = modal->windowTitle();
        auto *messageBox = qobject_cast<QMessageBox *>(modal);
        auto *fileDialog = qobject_cast<QFileDialog *>(modal);
        if (messageBox) {
            record.text = messageBox->text();
            record.icon = messageBox->icon();
            for (QAbstractButton *b : messageBox->buttons())
                record.buttons << messageBox->standardButton(b);
        }
        if (fileDialog) {
            record.fileMode = fileDialog->fileMode();
            record.dirsOnly = fileDialog->testOption(QFileDialog::ShowDirsOnly);
            record.nameFilters = fileDialog->nameFilters();
        }
        seen << record;

        if (next >= steps.size() || steps[next].fileDialog != bool(fileDialog)
            || (!fileDialog && !messageBox)) {
            ++unexpected;
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
            else
                modal->close();
            return;
        }
        const Step step = steps[next++];
        if (fileDialog) {
            auto *edit = fileDialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (step.path.isEmpty() || !edit) {
                fileDialog->reject();
            } else {
                edit->setText(step.path);
                QTest::keyClick(edit, Qt::Key_Return);
            }
        } else if (step.button == QMessageBox::NoButton) {
            QTest::keyClick(messageBox, Qt::Key_Escape);
        } else if (QAbstractButton *b = messageBox->button(step.button)) {
            b->click();
        } else {
            ++unexpected;
            messageBox->reject();
        }
        if (step.after)
            step.after();
    }

    QTimer timer;
    QList<Step> steps;
    int next = 0;
    QPointer<QWidget> handled;
};

// ---- the results log ----

// The log as appended: "<hr>" for a horizontal rule, the text otherwise. An
// HTML rule shows in the document as two empty blocks (the run never logs an
// empty line), so every pair of empty blocks is one rule.
inline QStringList logLines(const QPlainTextEdit *log)
{
    QStringList lines;
    int empties = 0;
    const auto flush = [&]() {
        for (int k = 0; k < empties / 2; ++k)
            lines << QStringLiteral("<hr>");
        if (empties % 2)
            lines << QString();
        empties = 0;
    };
    for (QTextBlock block = log->document()->begin(); block.isValid(); block = block.next()) {
        if (block.text().isEmpty()) {
            ++empties;
            continue;
        }
        flush();
        lines << block.text();
    }
    flush();
    // A fresh document holds one empty block, which the first line fills.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Runs `action` at the event processing of picture step `step` (counted from
// 1) of a running batch: every step appends a rule to the log and then lets
// events run once, which is when the action runs.
class StepHook : public QObject
{
public:
    explicit StepHook(QPlainTextEdit *log)
        : log(log)
        , base(logLines(log).count(QStringLiteral("<hr>")))
    {
        connect(log, &QPlainTextEdit::textChanged, this, &StepHook::changed);
    }

    void at(int step, std::function<void()> action) { actions.insert(step, action); }

private:
    void changed()
    {
        const int now = logLines(log).count(QStringLiteral("<hr>")) - base;
        while (rules < now) {
            ++rules;
            if (actions.contains(rules))
                QTimer::singleShot(0, this, actions.value(rules));
        }
    }

    QPlainTextEdit *log;
    int base;
    int rules = 0;
    QMap<int, std::function<void()>> actions;
};

} // namespace BatchTesting
