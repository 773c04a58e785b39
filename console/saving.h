#pragma once
// Files the operator saves from the dashboard: a picture of the chart, its data, the log. The
// dialog starts in the user's data folder (the recordings' too) with a name of the moment; the
// file is written whole or not at all.

#include <QByteArray>
#include <QString>

class QWidget;

// The path the operator chose, or an empty one. what: "chart", "log"; suffix: "png", "csv", "txt".
QString askSavePath(QWidget* parent, const QString& title, const QString& what,
                    const QString& suffix, const QString& filter);

// Writes bytes to path through a temporary file that replaces it only once complete. False with
// the reason when it cannot.
bool saveBytes(const QString& path, const QByteArray& bytes, QString& error);
