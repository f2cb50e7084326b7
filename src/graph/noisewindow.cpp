// SPDX-License-Identifier: GPL-3.0-or-later
#include "noisewindow.h"

#include "app/dialogs.h"
#include "app/settings.h"
#include "data/datafile.h"
#include "data/numtext.h"
#include "engine/readingformat.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

using namespace noise;

namespace {

constexpr qint64 kPaceMs = 330; // like the graph's drawing
constexpr qint64 kSliceMs = 20; // of computing between events
constexpr qint64 kSliceBudget = qint64(1) << 17;
const QColor kPointColour(0, 0, 160);
const QColor kMinimumColour(200, 0, 0);
const QColor kWhiteGuide(0, 128, 128);
const QColor kWalkGuide(128, 0, 0);

QString decadeText(int exponent, const QString &decSep)
{
    return numtext::withDecSeparator(numtext::formatGeneral(std::pow(10.0L, exponent), 15), decSep);
}

// The plot widget: paints the window's current result.
class AllanPlot : public QWidget
{
public:
    AllanPlot(const NoiseResult &r, std::function<QString()> decSep, QWidget *parent)
        : QWidget(parent), m_r(r), m_decSep(std::move(decSep))
    {
        setObjectName(QStringLiteral("allanplot"));
        setMinimumSize(420, 300);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        drawAllanPlot(p, rect(), m_r, m_decSep());
    }

private:
    const NoiseResult &m_r;
    std::function<QString()> m_decSep;
};

} // namespace

void drawAllanPlot(QPainter &p, const QRect &rect, const NoiseResult &r, const QString &decSep)
{
    p.fillRect(rect, Qt::white);
    std::vector<const AllanPoint *> pts;
    for (const AllanPoint &a : r.points)
        if (a.adev > 0 && std::isfinite(a.adev))
            pts.push_back(&a);
    if (r.tooFew || r.points.empty())
        return;
    if (pts.empty()) {
        // A constant: no point on a logarithmic scale.
        p.drawText(rect, Qt::AlignCenter, QStringLiteral("The deviation is zero at every τ"));
        return;
    }

    double lx = 1e300, hx = -1e300, ly = 1e300, hy = -1e300;
    for (const AllanPoint *a : pts) {
        lx = std::min(lx, std::log10(a->tau));
        hx = std::max(hx, std::log10(a->tau));
        ly = std::min(ly, std::log10(a->lower > 0 ? a->lower : a->adev));
        hy = std::max(hy, std::log10(a->upper));
    }
    const int x0 = int(std::floor(lx)), x1 = std::max(int(std::ceil(hx)), x0 + 1);
    const int y0 = int(std::floor(ly)), y1 = std::max(int(std::ceil(hy)), y0 + 1);
    const QFontMetrics fm = p.fontMetrics();
    int labelWidth = 0;
    for (int d = y0; d <= y1; ++d)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(decadeText(d, decSep)));
    const QRectF area =
        QRectF(rect).adjusted(labelWidth + 12, fm.height() + 10, -16, -2 * fm.height() - 8);
    const auto X = [&](double tau) {
        return area.left() + (std::log10(tau) - x0) / (x1 - x0) * area.width();
    };
    const auto Y = [&](double v) {
        return area.bottom() - (std::log10(v) - y0) / (y1 - y0) * area.height();
    };

    // Decades with their 2..9 marks.
    for (int d = x0; d <= x1; ++d) {
        for (int k = 1; k < (d < x1 ? 10 : 2); ++k) {
            const double x = X(k * std::pow(10.0, d));
            p.setPen(QColor(k == 1 ? 190 : 230, k == 1 ? 190 : 230, k == 1 ? 190 : 230));
            p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        }
        p.setPen(Qt::black);
        const QString t = decadeText(d, decSep);
        p.drawText(QPointF(X(std::pow(10.0, d)) - fm.horizontalAdvance(t) / 2.0,
                           area.bottom() + fm.height() + 2),
                   t);
    }
    for (int d = y0; d <= y1; ++d) {
        for (int k = 1; k < (d < y1 ? 10 : 2); ++k) {
            const double y = Y(k * std::pow(10.0, d));
            p.setPen(QColor(k == 1 ? 190 : 230, k == 1 ? 190 : 230, k == 1 ? 190 : 230));
            p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        }
        p.setPen(Qt::black);
        const QString t = decadeText(d, decSep);
        p.drawText(QPointF(area.left() - fm.horizontalAdvance(t) - 6,
                           Y(std::pow(10.0, d)) + fm.ascent() / 2.0),
                   t);
    }
    p.setPen(Qt::black);
    p.drawRect(area);
    p.drawText(QPointF(area.right() - fm.horizontalAdvance(QStringLiteral("τ (s)")),
                       area.bottom() + 2 * fm.height() + 4),
               QStringLiteral("τ (s)"));
    const QString yTitle = QStringLiteral("σ(τ)") +
                           (r.unit.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(r.unit));
    p.drawText(QPointF(area.left(), area.top() - 5), yTitle);

    p.save();
    p.setClipRect(area);
    p.setRenderHint(QPainter::Antialiasing);
    // Guide lines: white noise falls through the first point, a random walk rises through
    // the last one.
    const double tauLo = std::pow(10.0, x0), tauHi = std::pow(10.0, x1);
    const auto guide = [&](const AllanPoint *a, double slope, const QColor &c) {
        QPen pen(c, 1, Qt::DashLine);
        p.setPen(pen);
        p.drawLine(QPointF(X(tauLo), Y(a->adev * std::pow(tauLo / a->tau, slope))),
                   QPointF(X(tauHi), Y(a->adev * std::pow(tauHi / a->tau, slope))));
    };
    guide(pts.front(), -0.5, kWhiteGuide);
    guide(pts.back(), 0.5, kWalkGuide);

    QPainterPath line;
    for (const AllanPoint *a : pts) {
        const QPointF c(X(a->tau), Y(a->adev));
        a == pts.front() ? line.moveTo(c) : line.lineTo(c);
        if (a->lower > 0 && a->upper > 0) {
            p.setPen(QPen(kPointColour, 1));
            const double top = Y(a->upper), bottom = Y(a->lower);
            p.drawLine(QPointF(c.x(), top), QPointF(c.x(), bottom));
            p.drawLine(QPointF(c.x() - 3, top), QPointF(c.x() + 3, top));
            p.drawLine(QPointF(c.x() - 3, bottom), QPointF(c.x() + 3, bottom));
        }
    }
    p.setPen(QPen(kPointColour, 1.5));
    p.drawPath(line);
    p.setBrush(kPointColour);
    for (const AllanPoint *a : pts)
        p.drawEllipse(QPointF(X(a->tau), Y(a->adev)), 3, 3);
    p.restore();

    p.setPen(kWalkGuide);
    p.drawText(QPointF(area.right() - fm.horizontalAdvance(QStringLiteral("τ^+½ random walk")) - 6,
                       area.top() + fm.height()),
               QStringLiteral("τ^+½ random walk"));
    p.setPen(kWhiteGuide);
    p.drawText(QPointF(area.left() + 6, area.top() + fm.height()),
               QStringLiteral("τ^-½ white noise"));

    if (r.minimum >= 0 && r.points[size_t(r.minimum)].adev > 0) {
        const AllanPoint &m = r.points[size_t(r.minimum)];
        const QPointF c(X(m.tau), Y(m.adev));
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kMinimumColour, 2));
        p.drawEllipse(c, 7, 7);
        const QString t =
            QStringLiteral("best τ = %1 s")
                .arg(numtext::withDecSeparator(numtext::formatGeneral(m.tau, 6), decSep));
        const double tx = std::min(c.x() + 10, area.right() - fm.horizontalAdvance(t) - 4);
        p.drawText(QPointF(tx, std::min(c.y() + fm.height() + 6, area.bottom() - 4)), t);
    }
}

NoiseWindow::NoiseWindow(const BigAry &buffer, SelectionFn selection, const Settings &settings,
                         QWidget *parent)
    : QWidget(parent, Qt::Window), m_buffer(buffer), m_selection(std::move(selection)),
      m_settings(settings)
{
    setObjectName(QStringLiteral("NoiseWindow"));
    setWindowTitle(QStringLiteral("Noise analysis"));
    resize(1100, 620);

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("noisesummary"));
    m_summary->setWordWrap(true);
    m_figures = new QLabel(this);
    m_figures->setObjectName(QStringLiteral("noisefigures"));
    m_figures->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_figures->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_figures->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_plot = new AllanPlot(
        m_result, [this] { return decSep(); }, this);

    m_table = new QTableWidget(0, 6, this);
    m_table->setObjectName(QStringLiteral("allantable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("τ (s)"), QStringLiteral("m"),
                                        QStringLiteral("deviation"), QStringLiteral("lower"),
                                        QStringLiteral("upper"), QStringLiteral("terms")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->installEventFilter(this);

    m_steps = new QCheckBox(QStringLiteral("1-2-5 steps"), this);
    m_steps->setObjectName(QStringLiteral("steps125cb"));
    m_copy = new QPushButton(QStringLiteral("Copy table"), this);
    m_copy->setObjectName(QStringLiteral("copytableb"));
    m_saveCsv = new QPushButton(QStringLiteral("Save CSV..."), this);
    m_saveCsv->setObjectName(QStringLiteral("savecsvb"));
    m_savePlot = new QPushButton(QStringLiteral("Save plot..."), this);
    m_savePlot->setObjectName(QStringLiteral("saveplotb"));

    auto *right = new QVBoxLayout;
    right->addWidget(m_figures);
    right->addWidget(m_table, 1);
    auto *middle = new QHBoxLayout;
    middle->addWidget(m_plot, 3);
    middle->addLayout(right, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_steps);
    buttons->addStretch(1);
    buttons->addWidget(m_copy);
    buttons->addWidget(m_saveCsv);
    buttons->addWidget(m_savePlot);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addLayout(middle, 1);
    layout->addLayout(buttons);

    m_throttle.setSingleShot(true);
    connect(&m_throttle, &QTimer::timeout, this, &NoiseWindow::restart);
    m_slice.setInterval(0);
    connect(&m_slice, &QTimer::timeout, this, &NoiseWindow::runSlice);
    connect(m_steps, &QCheckBox::toggled, this, &NoiseWindow::restart);
    connect(m_copy, &QPushButton::clicked, this, &NoiseWindow::copytablebClick);
    connect(m_saveCsv, &QPushButton::clicked, this, &NoiseWindow::savecsvbClick);
    connect(m_savePlot, &QPushButton::clicked, this, &NoiseWindow::saveplotbClick);
    auto *copy = new QShortcut(QKeySequence::Copy, this);
    copy->setContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QShortcut::activated, this, &NoiseWindow::copytablebClick);
    showResult();
}

NoiseWindow::~NoiseWindow() = default;

NoiseWindow *NoiseWindow::attach(QMenu *dataMenu, const BigAry &buffer, SelectionFn selection,
                                 const Settings &settings, QWidget *graph)
{
    auto *w = new NoiseWindow(buffer, std::move(selection), settings, graph);
    QAction *a = dataMenu->addAction(QStringLiteral("Noise analysis..."));
    a->setObjectName(QStringLiteral("Noiseanalysis1"));
    connect(a, &QAction::triggered, w, &NoiseWindow::Noiseanalysis1Click);
    return w;
}

void NoiseWindow::Noiseanalysis1Click()
{
    show();
    raise();
    activateWindow();
    restart();
}

void NoiseWindow::selectionChanged()
{
    m_stale = true;
    if (!isVisible())
        return;
    const qint64 since = m_lastStart.isValid() ? m_lastStart.elapsed() : kPaceMs;
    if (since >= kPaceMs)
        restart();
    else if (!m_throttle.isActive())
        m_throttle.start(int(kPaceMs - since));
}

void NoiseWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_stale && !busy())
        selectionChanged();
}

void NoiseWindow::hideEvent(QHideEvent *event)
{
    // Nobody looks: give the running sums' memory back.
    m_throttle.stop();
    m_slice.stop();
    if (busy())
        m_stale = true;
    m_job.reset();
    QWidget::hideEvent(event);
}

bool NoiseWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The table would copy one cell; the whole table is what a spreadsheet wants.
    if (watched == m_table &&
        (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
        static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
        if (event->type() == QEvent::KeyPress)
            copytablebClick();
        event->accept();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void NoiseWindow::restart()
{
    m_throttle.stop();
    m_stale = false;
    m_lastStart.start();
    const auto [from, to] = m_selection();
    m_job = std::make_unique<NoiseAnalysis>(
        m_buffer, from, to, m_steps->isChecked() ? TauSteps::OneTwoFive : TauSteps::Octave);
    showResult();
    m_slice.start();
}

void NoiseWindow::runSlice()
{
    QElapsedTimer t;
    t.start();
    while (m_job && t.elapsed() < kSliceMs) {
        if (m_job->bufferMoved()) {
            restart();
            return;
        }
        if (m_job->step(kSliceBudget)) {
            m_result = m_job->result();
            m_computedOnce = true;
            m_job.reset();
            m_slice.stop();
            showResult();
            emit computed();
            return;
        }
    }
}

QString NoiseWindow::decSep() const
{
    return m_settings.DecSeparator;
}

QString NoiseWindow::shown(double v, const QString &unit) const
{
    if (!std::isfinite(v))
        return QStringLiteral("-");
    return FormatValue(v, decSep()).trimmed() + QLatin1Char(' ') + unit;
}

QString NoiseWindow::spread(double v, const QString &unit) const
{
    QString t = shown(v, unit);
    return t.startsWith(QLatin1Char('+')) ? t.mid(1) : t;
}

QString NoiseWindow::plain(double v, int digits) const
{
    if (!std::isfinite(v))
        return QStringLiteral("-");
    return numtext::withDecSeparator(numtext::formatGeneral(v, digits), decSep());
}

void NoiseWindow::showResult()
{
    const NoiseResult &r = m_result;
    const bool points = !r.tooFew && !r.points.empty();
    m_copy->setEnabled(points);
    m_saveCsv->setEnabled(points);
    m_savePlot->setEnabled(points);
    m_plot->update();

    QString summary;
    if (!m_computedOnce) {
        // Nothing to show yet; not "too few" either.
    } else if (r.tooFew) {
        summary = QStringLiteral("Too few readings");
    } else {
        summary =
            QStringLiteral("Readings %1 to %2: %3 valid, %4 left out; τ0 = %5 s%6; %7, %8")
                .arg(r.from)
                .arg(r.to)
                .arg(r.valid)
                .arg(r.skipped)
                .arg(plain(r.tau0))
                .arg(r.tau0Assumed ? QStringLiteral(" (equal time stamps)") : QString())
                .arg(r.gaps == 1 ? QStringLiteral("1 gap") : QStringLiteral("%1 gaps").arg(r.gaps))
                .arg(r.runs() == 1 ? QStringLiteral("1 run")
                                   : QStringLiteral("%1 runs").arg(r.runs()));
    }
    if (busy())
        summary +=
            summary.isEmpty() ? QStringLiteral("Computing...") : QStringLiteral("  (computing...)");
    m_summary->setText(summary);

    m_table->setRowCount(points ? int(r.points.size()) : 0);
    if (!points) {
        m_figures->clear();
        return;
    }
    const NoiseFigures &f = r.figures;
    const DriftFit &d = r.drift;
    const QString &u = r.unit;
    const auto ppm = [&](double v) { return plain(v, 4) + QStringLiteral(" ppm"); };
    QStringList lines;
    lines << QStringLiteral("Mean               %1").arg(shown(f.mean, u))
          << QStringLiteral("Standard deviation %1   %2").arg(shown(f.sd, u), ppm(f.sdPpm))
          << QStringLiteral("Peak-to-peak       %1   %2").arg(shown(f.pp, u), ppm(f.ppPpm))
          << QStringLiteral("Noise (Δ/√2)       %1   %2")
                 .arg(shown(f.diffNoise, u), ppm(f.diffNoisePpm))
          << QStringLiteral("Noise-free digits  %1   (range %2)")
                 .arg(plain(f.noiseFreeDigits, 3), plain(f.range));
    if (d.valid) {
        lines << QStringLiteral("Drift per hour     %1 ± %2   %3")
                     .arg(shown(d.perHour, u), spread(d.stdErrPerHour, u), ppm(d.ppmPerHour))
              << QStringLiteral("Drift per day      %1 ± %2   %3")
                     .arg(shown(d.perDay, u), spread(d.stdErrPerDay, u), ppm(d.ppmPerDay))
              << QStringLiteral("Residual sd        %1").arg(shown(d.residualSd, u));
    }
    if (r.minimum >= 0) {
        const AllanPoint &m = r.points[size_t(r.minimum)];
        lines << QStringLiteral("Best averaging     τ = %1 s: %2")
                     .arg(plain(m.tau), shown(m.adev, u));
    }
    m_figures->setText(lines.join(QLatin1Char('\n')));

    for (int i = 0; i < int(r.points.size()); ++i) {
        const AllanPoint &p = r.points[size_t(i)];
        const QString cells[6] = {plain(p.tau),   QString::number(p.m), plain(p.adev),
                                  plain(p.lower), plain(p.upper),       QString::number(p.terms)};
        for (int c = 0; c < 6; ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (i == r.minimum) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
            }
            m_table->setItem(i, c, item);
        }
    }
}

void NoiseWindow::copytablebClick()
{
    if (m_result.tooFew || m_result.points.empty())
        return;
    const char sep = datafile::decimalSeparatorOf(decSep());
    QGuiApplication::clipboard()->setText(QString::fromUtf8(clipboardTable(m_result, sep)));
}

bool NoiseWindow::saveCsv(const QString &path, QString *error)
{
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(csvTable(m_result, datafile::decimalSeparatorOf(decSep())));
        if (f.commit())
            return true;
    }
    if (error)
        *error = f.errorString();
    return false;
}

QImage NoiseWindow::plotImage(const QSize &size) const
{
    QImage img(size, QImage::Format_RGB32);
    QPainter p(&img);
    p.setFont(font());
    drawAllanPlot(p, img.rect(), m_result, decSep());
    return img;
}

namespace {

QString proposedName(const Settings &s, const QString &suffix)
{
    return QDir(s.DataDir).filePath(
        QStringLiteral("Noise_") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) + suffix);
}

// The dialog's name, with the suffix when the operator typed none.
QString askName(QWidget *owner, const Settings &s, const QString &title, const QString &filter,
                const QString &suffix)
{
    int index = 1;
    QString path =
        dialogs::GetSaveFileName(owner, title, proposedName(s, suffix), {filter}, &index);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += suffix;
    return path;
}

} // namespace

void NoiseWindow::savecsvbClick()
{
    int filter = 1;
    QString path = dialogs::GetSaveFileName(
        this, QStringLiteral("Save table"), proposedName(m_settings, QStringLiteral(".csv")),
        {QStringLiteral("Semicolon separated (*.csv)")}, &filter);
    if (path.isEmpty())
        return;
    QString error;
    if (!saveCsv(path, &error))
        dialogs::ShowError(this, path + QStringLiteral(": ") + error);
}

void NoiseWindow::saveplotbClick()
{
    const QString path = askName(this, m_settings, QStringLiteral("Save plot"),
                                 QStringLiteral("PNG picture (*.png)"), QStringLiteral(".png"));
    if (path.isEmpty())
        return;
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || !plotImage().save(&f, "PNG") || !f.commit())
        dialogs::ShowError(this, path + QStringLiteral(": ") + f.errorString());
}
