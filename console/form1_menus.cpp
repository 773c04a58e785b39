// The context menus of the chart and of the log: the chart saved as a picture, copied, its data
// exported, paused; the log saved or copied. A file that cannot be written is told in the log and
// in a notice.

#include "console/chart/chart_export.h"
#include "console/chart/telemetry_chart.h"
#include "console/form1.h"
#include "console/saving.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QPlainTextEdit>

namespace {

const QString kSaveCaption = QStringLiteral("Zapis");

} // namespace

void TForm1::saveFile(const QString& path, const QByteArray& bytes) {
    QString error;
    if (path.isEmpty() || saveBytes(path, bytes, error))
        return;
    appendLog(QStringLiteral("> cannot save %1: %2").arg(path, error));
    boxes_.show(QStringLiteral("Nie mozna zapisac pliku %1").arg(path), kSaveCaption,
                MessageBoxService::Buttons::Ok, MessageBoxService::Icon::Information);
}

void TForm1::Chart1ContextMenu(const QPoint& globalPos) {
    QMenu menu(this);
    menu.setObjectName("Chart1Menu");
    menu.addAction(QStringLiteral("&Save the picture..."), this, [this] {
        const QPixmap picture = Chart1->picture(); // as it is now, not after the dialog
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "PNG");
        saveFile(askSavePath(this, QStringLiteral("Save the chart as a picture"),
                             QStringLiteral("chart"), QStringLiteral("png"),
                             QStringLiteral("PNG pictures (*.png)")),
                 png);
    });
    menu.addAction(QStringLiteral("&Copy the picture"), this,
                   [this] { QGuiApplication::clipboard()->setPixmap(Chart1->picture()); });
    menu.addAction(QStringLiteral("&Export the data as CSV..."), this, [this] {
        const std::string csv = chartCsv(Chart1->history());
        saveFile(askSavePath(this, QStringLiteral("Export the chart's data"),
                             QStringLiteral("chart"), QStringLiteral("csv"),
                             QStringLiteral("CSV files (*.csv)")),
                 QByteArray::fromStdString(csv));
    });
    menu.addSeparator();
    QAction* pause =
        menu.addAction(QStringLiteral("&Pause"), this, [this](bool on) { Chart1->setPaused(on); });
    pause->setCheckable(true);
    pause->setChecked(Chart1->paused());
    menu.exec(globalPos);
}

void TForm1::Memo1ContextMenu(const QPoint& globalPos) {
    QMenu* menu = Memo1->createStandardContextMenu(Memo1->mapFromGlobal(globalPos));
    menu->setObjectName("Memo1Menu");
    menu->addSeparator();
    menu->addAction(QStringLiteral("&Save the log..."), this, [this] {
        const QString path =
            askSavePath(this, QStringLiteral("Save the log"), QStringLiteral("log"),
                        QStringLiteral("txt"), QStringLiteral("Text files (*.txt)"));
        saveFile(path, (Memo1->toPlainText() + "\n").toUtf8());
    });
    menu->exec(globalPos);
    delete menu;
}
