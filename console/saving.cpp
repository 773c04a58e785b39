#include "console/saving.h"

#include "console/recording_control.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QSaveFile>

QString askSavePath(QWidget* parent, const QString& title, const QString& what,
                    const QString& suffix, const QString& filter) {
    // The operator asked to save: the folder may be made for it.
    const QString folder = RecordingControl::defaultFolder();
    QDir().mkpath(folder);
    const QString name =
        QStringLiteral("zelk-%1-%2.%3")
            .arg(what, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")),
                 suffix);
    return QFileDialog::getSaveFileName(parent, title, QDir(folder).filePath(name), filter);
}

bool saveBytes(const QString& path, const QByteArray& bytes, QString& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}
