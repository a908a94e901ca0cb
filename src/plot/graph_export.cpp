#include "plot/graph_export.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <cstdio>
#include <memory>

#include "plot/fit_graph.h"

namespace quillon::plot {
namespace {

constexpr int kScreenDpi = 96;
constexpr double kPngScale = 2.0;  // PNGs at twice the widget's pixels
constexpr QSize kFileGraphSize{1000, 760};

bool ExportPng(QWidget& widget, QIODevice& device) {
    QImage image(widget.size() * kPngScale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(kPngScale);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        widget.render(&painter);
    }
    return image.save(&device, "PNG");
}

bool ExportSvg(QWidget& widget, QIODevice& device) {
    QSvgGenerator generator;
    generator.setOutputDevice(&device);
    generator.setSize(widget.size());
    generator.setViewBox(QRect(QPoint(0, 0), widget.size()));
    generator.setResolution(kScreenDpi);
    generator.setTitle(QStringLiteral("Quillon_L graph"));
    QPainter painter;
    if (!painter.begin(&generator)) {
        return false;
    }
    widget.render(&painter);
    return painter.end();
}

bool ExportPdf(QWidget& widget, QIODevice& device) {
    QPdfWriter writer(&device);
    writer.setResolution(kScreenDpi);
    const QSizeF points = QSizeF(widget.size()) * 72.0 / kScreenDpi;
    writer.setPageSize(QPageSize(points, QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setTitle(QStringLiteral("Quillon_L graph"));
    QPainter painter;
    if (!painter.begin(&writer)) {
        return false;
    }
    widget.render(&painter);
    return painter.end();
}

// The command line's standard error carries only its own "quillon:" lines:
// the toolkit's notes (no XDG_RUNTIME_DIR, what the offscreen platform does
// not support) mean nothing to its user. Errors still get through, in the
// program's own form.
void CommandLineQtMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "quillon: %s\n", message.toLocal8Bit().constData());
    }
}

// A QApplication on the offscreen platform for the length of one export,
// unless one is running already; the toolkit's messages are held back
// meanwhile.
class OffscreenApplication {
  public:
    OffscreenApplication() {
        if (QCoreApplication::instance() == nullptr) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            m_previousHandler = qInstallMessageHandler(CommandLineQtMessage);
            m_app = std::make_unique<QApplication>(m_argc, m_argv);
        }
    }
    ~OffscreenApplication() {
        if (m_app) {
            m_app.reset();
            qInstallMessageHandler(m_previousHandler);
        }
    }
    OffscreenApplication(const OffscreenApplication&) = delete;
    OffscreenApplication& operator=(const OffscreenApplication&) = delete;

  private:
    QtMessageHandler m_previousHandler = nullptr;
    int m_argc = 1;
    char m_name[8] = "quillon";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_app;
};

bool Render(QWidget& widget, ExportFormat format, QIODevice& device) {
    switch (format) {
        case ExportFormat::Png:
            return ExportPng(widget, device);
        case ExportFormat::Svg:
            return ExportSvg(widget, device);
        case ExportFormat::Pdf:
            return ExportPdf(widget, device);
    }
    return false;
}

}  // namespace

bool RenderWidget(QWidget& widget, ExportFormat format, QByteArray& bytes) {
    QBuffer buffer(&bytes);
    return buffer.open(QIODevice::WriteOnly) && Render(widget, format, buffer);
}

std::optional<ExportFormat> FormatOfPath(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png")) {
        return ExportFormat::Png;
    }
    if (suffix == QLatin1String("svg")) {
        return ExportFormat::Svg;
    }
    if (suffix == QLatin1String("pdf")) {
        return ExportFormat::Pdf;
    }
    return std::nullopt;
}

bool ExportWidget(QWidget& widget, const QString& path, QString& error) {
    const auto format = FormatOfPath(path);
    if (!format) {
        error = QStringLiteral("%1: the graph is written as .png, .svg or .pdf").arg(path);
        return false;
    }
    QFile file(path);
    const bool ok =
        file.open(QIODevice::WriteOnly) && Render(widget, *format, file) && file.flush();
    if (!ok) {
        error = QStringLiteral("%1: the graph could not be written").arg(path);
    }
    return ok;
}

std::vector<SetPlotData> SelectSets(const ComputeRecord& record, const PlotModel& model,
                                    int setNumber) {
    if (setNumber == kGlobalFitSelection) {
        return BuildGlobalPlot(model, record, FitGraph::kMaxSetsApart);
    }
    std::vector<SetPlotData> sets;
    for (const SetRecord& set : record.sets) {
        if (setNumber == 0 || set.setNumber == setNumber) {
            // The sets beyond those drawn apart show no curves: none sampled.
            const bool inCloud = setNumber == 0 && sets.size() >= FitGraph::kMaxSetsApart;
            sets.push_back(BuildSetPlot(model, set, inCloud ? 0 : 200));
        }
    }
    return sets;
}

QString GraphTitle(int setNumber) {
    return setNumber == kGlobalFitSelection ? QString::fromUtf8(kGlobalFitTitle) : QString();
}

bool PlotRecordToFile(const ComputeRecord& record, const PlotModel& model, int setNumber,
                      const std::string& path, std::string& error) {
    const QString file = QString::fromStdString(path);
    if (!FormatOfPath(file)) {
        error = path + ": the graph is written as .png, .svg or .pdf";
        return false;
    }
    std::vector<SetPlotData> sets = SelectSets(record, model, setNumber);
    if (sets.empty() && setNumber == kGlobalFitSelection) {
        error = "the compute has no global fit";
        return false;
    }
    if (sets.empty() && setNumber != 0) {
        error = "no set " + std::to_string(setNumber) + " was fitted";
        return false;
    }
    const OffscreenApplication app;
    FitGraph graph;
    graph.setAttribute(Qt::WA_DontShowOnScreen);
    graph.resize(kFileGraphSize);
    graph.ShowSets(sets, GraphTitle(setNumber));
    graph.show();  // lays the charts out before they are rendered
    // The legend's rows are laid out and sized by posted events: handled
    // before the render, the column shows no scroll bar it does not need.
    QCoreApplication::processEvents();
    QString reason;
    if (!ExportWidget(graph, file, reason)) {
        error = reason.toStdString();
        return false;
    }
    return true;
}

}  // namespace quillon::plot
