// SPDX-License-Identifier: GPL-3.0-or-later
#include "mathpage.h"

#include "app/numerickeyfilter.h"
#include "app/settings.h"
#include "data/numtext.h"
#include "readingarea.h"
#include "readingcontroller.h"
#include "readingformat.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

QString general(long double v)
{
    return numtext::formatGeneral(v);
}

long double numberOrZero(const QString &text)
{
    return convertNumber(QStringView(text).trimmed(), 0);
}

void setBold(QWidget *w, bool bold)
{
    QFont f = w->font();
    f.setBold(bold);
    w->setFont(f);
}

} // namespace

MathPage::MathPage(ReadingController &controller, QWidget *parent)
    : QWidget(parent), m_c(controller)
{
    setObjectName(QStringLiteral("mathtab"));
    auto edit = [this](const char *name, bool numeric) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        if (numeric)
            NumericKeyFilter::install(e);
        return e;
    };
    auto check = [this](const char *name, const QString &caption) {
        auto *c = new QCheckBox(caption, this);
        c->setObjectName(QLatin1String(name));
        return c;
    };

    m_setzerogb = new QGroupBox(QStringLiteral("Zero"), this);
    m_setzerogb->setObjectName(QStringLiteral("setzerogb"));
    m_zerob = new QPushButton(QStringLiteral("&Zero"), m_setzerogb);
    m_zerob->setObjectName(QStringLiteral("zerob"));
    m_zerob->setToolTip(QStringLiteral(" take the last reading as zero reference, or clear it "));
    m_setzerob = new QPushButton(QStringLiteral("&Set"), m_setzerogb);
    m_setzerob->setObjectName(QStringLiteral("setzerob"));
    m_setzeroe = edit("setzeroe", true);
    m_setzeroe->setToolTip(QStringLiteral(" enter Zero reference "));
    auto *zeroRow = new QHBoxLayout(m_setzerogb);
    zeroRow->addWidget(m_zerob);
    zeroRow->addWidget(m_setzeroe, 1);
    zeroRow->addWidget(m_setzerob);

    m_mxb_gb = new QGroupBox(QStringLiteral("m * x + b"), this);
    m_mxb_gb->setObjectName(QStringLiteral("mxb_gb"));
    m_mxb_gb->setToolTip(QStringLiteral(" linear math on the reading "));
    m_math_ena_cb = check("math_ena_cb", QStringLiteral("&Enable"));
    m_div1_cb = check("div1_cb", QStringLiteral("1/"));
    m_div1_cb->setToolTip(QStringLiteral(" reciprocal: 1 / (m * x + b) "));
    m_math_x_ed = edit("math_x_ed", true);
    m_math_b_ed = edit("math_b_ed", true);
    m_newunitl = edit("newunitl", false);
    m_newunitl->setToolTip(QStringLiteral("units used after calculation"));
    auto *mathForm = new QFormLayout(m_mxb_gb);
    auto *switches = new QHBoxLayout;
    switches->addWidget(m_math_ena_cb);
    switches->addWidget(m_div1_cb);
    mathForm->addRow(switches);
    mathForm->addRow(QStringLiteral("m"), m_math_x_ed);
    mathForm->addRow(QStringLiteral("b"), m_math_b_ed);
    mathForm->addRow(QStringLiteral("unit"), m_newunitl);

    m_filtergb = new QGroupBox(QStringLiteral("Filter"), this);
    m_filtergb->setObjectName(QStringLiteral("filtergb"));
    m_filterenacb = check("filterenacb", QStringLiteral("Filter &enabled"));
    m_filterlowle = edit("filterlowle", true);
    m_filterhighle = edit("filterhighle", true);
    auto *filterForm = new QFormLayout(m_filtergb);
    filterForm->addRow(m_filterenacb);
    filterForm->addRow(QStringLiteral("Low"), m_filterlowle);
    filterForm->addRow(QStringLiteral("High"), m_filterhighle);

    m_limitgb = new QGroupBox(QStringLiteral("Limits"), this);
    m_limitgb->setObjectName(QStringLiteral("limitgb"));
    m_limecb = check("limecb", QStringLiteral("&Enable limit"));
    m_limitbeepcb = check("limitbeepcb", QStringLiteral("&Beep"));
    m_limitbeepcb->setToolTip(QStringLiteral(" beep on limit crossing "));
    m_lowlime = edit("lowlime", true);
    m_higlime = edit("higlime", true);
    for (QLineEdit *e : {m_lowlime, m_higlime}) {
        e->setToolTip(QStringLiteral(" double click or Ctrl+Enter: take the last reading "));
        e->installEventFilter(this);
    }
    m_filterlowle->installEventFilter(this);
    m_filterhighle->installEventFilter(this);
    auto *limitForm = new QFormLayout(m_limitgb);
    auto *limitSwitches = new QHBoxLayout;
    limitSwitches->addWidget(m_limecb);
    limitSwitches->addWidget(m_limitbeepcb);
    limitForm->addRow(limitSwitches);
    limitForm->addRow(QStringLiteral("Low"), m_lowlime);
    limitForm->addRow(QStringLiteral("High"), m_higlime);

    auto *grid = new QVBoxLayout(this);
    grid->addWidget(m_setzerogb);
    grid->addWidget(m_mxb_gb);
    grid->addWidget(m_filtergb);
    grid->addWidget(m_limitgb);
    grid->addStretch(1);

    Settings &s = m_c.settings();
    connect(m_zerob, &QPushButton::clicked, this, &MathPage::zerobClick);
    connect(m_setzerob, &QPushButton::clicked, this, &MathPage::setzerobClick);
    connect(m_setzeroe, &QLineEdit::textChanged, this,
            [&s](const QString &t) { s.mathZeroText = t; });
    connect(m_math_ena_cb, &QCheckBox::clicked, this, &MathPage::math_ena_cbClick);
    connect(m_div1_cb, &QCheckBox::clicked, this, &MathPage::div1_cbClick);
    connect(m_math_x_ed, &QLineEdit::returnPressed, this, &MathPage::math_x_edEnter);
    connect(m_math_b_ed, &QLineEdit::returnPressed, this, &MathPage::math_b_edEnter);
    connect(m_math_x_ed, &QLineEdit::textChanged, this, [&s](const QString &t) { s.Math_mx = t; });
    connect(m_math_b_ed, &QLineEdit::textChanged, this, [&s](const QString &t) { s.Math_mb = t; });
    connect(m_newunitl, &QLineEdit::textChanged, this,
            [&s](const QString &t) { s.Math_units = t; });
    connect(m_filterenacb, &QCheckBox::clicked, this, &MathPage::filterenacbClick);
    connect(m_filterlowle, &QLineEdit::textChanged, this,
            [&s](const QString &t) { s.LowFilter = numberOrZero(t); });
    connect(m_filterhighle, &QLineEdit::textChanged, this,
            [&s](const QString &t) { s.HighFilter = numberOrZero(t); });
    connect(m_limecb, &QCheckBox::clicked, this, &MathPage::limecbClick);
    connect(m_limitbeepcb, &QCheckBox::clicked, this, &MathPage::limitbeepcbClick);
    connect(m_lowlime, &QLineEdit::textChanged, this, [this, &s](const QString &t) {
        s.LowLimit = numberOrZero(t);
        emit chartRedrawRequested();
    });
    connect(m_higlime, &QLineEdit::textChanged, this, [this, &s](const QString &t) {
        s.HighLimit = numberOrZero(t);
        emit chartRedrawRequested();
    });
}

void MathPage::applySettings()
{
    const Settings &s = m_c.settings();
    m_filterenacb->setChecked(s.Filter);
    m_limecb->setChecked(s.Limit);
    m_limitbeepcb->setChecked(s.Limit_beep);
    // Each field's change handling takes the value over, as typing would.
    m_lowlime->setText(general(s.LowLimit));
    m_higlime->setText(general(s.HighLimit));
    m_filterhighle->setText(general(s.HighFilter));
    m_filterlowle->setText(general(s.LowFilter));
    const long double zero = s.zeroRef;
    const QString mx = s.Math_mx;
    const QString mb = s.Math_mb;
    const QString units = s.Math_units;
    m_setzeroe->setText(general(zero));
    m_math_x_ed->setText(mx);
    m_math_b_ed->setText(mb);
    m_newunitl->setText(units);
    ReadingState &st = m_c.state();
    st.m = ReadingEngine::mathNumber(mx);
    st.b = ReadingEngine::mathNumber(mb);
    showZeroState();
}

void MathPage::showZeroState()
{
    const long double ref = m_c.settings().zeroRef;
    ReadingArea *area = m_c.readingArea();
    const QString &sep = m_c.settings().DecSeparator;
    if (area)
        area->setToolTip(ref != 0 ? QStringLiteral("Zero = ") + FormatValue(ref, sep) : QString());
    setBold(m_zerob, ref != 0);
    if (area)
        area->setSecondaryVisible(ref != 0);
}

void MathPage::zerobClick()
{
    m_c.engine().toggleZero();
    showZeroState();
    m_c.ProcessReading();
    m_setzeroe->setText(general(m_c.settings().zeroRef));
}

void MathPage::setzerobClick()
{
    m_c.settings().zeroRef = numberOrZero(m_setzeroe->text());
    m_c.ProcessReading();
    showZeroState();
    m_setzeroe->setText(general(m_c.settings().zeroRef));
}

void MathPage::showMathEdits()
{
    const ReadingState &st = m_c.state();
    m_math_x_ed->setText(general(st.m));
    m_math_b_ed->setText(general(st.b));
}

void MathPage::math_ena_cbClick()
{
    ReadingEngine &engine = m_c.engine();
    const bool on = m_math_ena_cb->isChecked();
    if (on) {
        engine.enableMath(m_math_x_ed->text(), m_math_b_ed->text());
        if (m_measnote) {
            m_savedNote = m_measnote->text().left(41);
            m_measnote->setText(m_savedNote + QStringLiteral(" [ m=") + general(engine.state().m) +
                                QStringLiteral(" b=") + general(engine.state().b) +
                                QStringLiteral(" ]"));
        }
    } else {
        engine.disableMath();
        if (m_measnote)
            m_measnote->setText(m_savedNote);
    }
    setBold(m_math_ena_cb, on);
    m_math_x_ed->setEnabled(!on);
    m_math_b_ed->setEnabled(!on);
    if (ReadingArea *area = m_c.readingArea()) {
        area->setSecondaryVisible(on);
        area->setMathLine(engine.mathLine());
    }
    showMathEdits();
}

void MathPage::div1_cbClick()
{
    m_c.state().reciprocal = m_div1_cb->isChecked();
    if (ReadingArea *area = m_c.readingArea())
        area->setMathLine(m_c.engine().mathLine());
}

void MathPage::math_x_edEnter()
{
    m_c.state().m = ReadingEngine::mathNumber(m_math_x_ed->text());
    m_math_x_ed->setText(general(m_c.state().m));
    if (ReadingArea *area = m_c.readingArea(); area && m_c.state().mathEnabled)
        area->setMathLine(m_c.engine().mathLine());
}

void MathPage::math_b_edEnter()
{
    m_c.state().b = ReadingEngine::mathNumber(m_math_b_ed->text());
    m_math_b_ed->setText(general(m_c.state().b));
    if (ReadingArea *area = m_c.readingArea(); area && m_c.state().mathEnabled)
        area->setMathLine(m_c.engine().mathLine());
}

void MathPage::filterenacbClick()
{
    m_c.settings().Filter = m_filterenacb->isChecked();
}

void MathPage::limecbClick()
{
    ReadingState &st = m_c.state();
    if (!m_limecb->isChecked()) {
        st.valueColour = DisplayColour::Green;
        st.limitText.clear();
        st.chartTextColour = DisplayColour::Grey;
        if (ReadingArea *area = m_c.readingArea()) {
            QPalette pal = area->meastext1()->palette();
            pal.setColor(QPalette::WindowText, ReadingArea::colour(DisplayColour::Green));
            area->meastext1()->setPalette(pal);
        }
    }
    m_c.settings().Limit = m_limecb->isChecked();
    emit chartRedrawRequested();
}

void MathPage::limitbeepcbClick()
{
    m_c.settings().Limit_beep = m_limitbeepcb->isChecked();
}

void MathPage::copyCurrentInto(QLineEdit *limitEdit)
{
    Settings &s = m_c.settings();
    const long double v = m_c.state().current;
    (limitEdit == m_lowlime ? s.LowLimit : s.HighLimit) = v;
    const QSignalBlocker block(limitEdit);
    limitEdit->setText(general(v));
    emit chartRedrawRequested();
}

void MathPage::leaveEdit(QLineEdit *edit)
{
    Settings &s = m_c.settings();
    if (edit == m_higlime && s.HighLimit < s.LowLimit)
        s.HighLimit = s.LowLimit;
    const long double stored = edit == m_lowlime       ? s.LowLimit
                               : edit == m_higlime     ? s.HighLimit
                               : edit == m_filterlowle ? s.LowFilter
                                                       : s.HighFilter;
    const QSignalBlocker block(edit);
    edit->setText(general(stored));
}

bool MathPage::eventFilter(QObject *watched, QEvent *event)
{
    auto *edit = qobject_cast<QLineEdit *>(watched);
    if (!edit)
        return QWidget::eventFilter(watched, event);
    const bool isLimit = edit == m_lowlime || edit == m_higlime;
    switch (event->type()) {
    case QEvent::MouseButtonDblClick:
        if (isLimit) {
            copyCurrentInto(edit);
            return true;
        }
        break;
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (isLimit && enter && (key->modifiers() & Qt::ControlModifier)) {
            copyCurrentInto(edit);
            return true;
        }
        break;
    }
    case QEvent::FocusOut:
        leaveEdit(edit);
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
