// SPDX-License-Identifier: GPL-3.0-or-later
#include "tempcalcf.h"

#include "app/dialogs.h"
#include "app/numerickeyfilter.h"
#include "app/settings.h"
#include "data/numtext.h"
#include "engine/readingformat.h"
#include "lang/langtexts.h"
#include "link/scpilink.h"
#include "tempformula.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabWidget>
#include <QTime>
#include <QVBoxLayout>

#include <charconv>
#include <cmath>

namespace {

const QChar kOhm = QChar(0x03A9);
const QString kNotCalculated = QStringLiteral(" Not calculated ");
const QStringList kProbeFilters = {QStringLiteral("probes (*.prb)"),
                                   QStringLiteral("any file (*.*)")};

Ttempcalcf::OpenNameHandler &openNameHandler()
{
    static Ttempcalcf::OpenNameHandler h;
    return h;
}

// Text that is not a finite number gives 0.
long double numberOf(QStringView text)
{
    const auto v = numtext::parseLongDouble(text);
    return v && std::isfinite(*v) ? *v : 0;
}

long double fieldValue(const QLineEdit *edit)
{
    return numberOf(edit->text());
}

// Automatic conversion rewrites every field once per reading; most keep their text.
void setText(QLineEdit *edit, const QString &text)
{
    if (edit->text() != text)
        edit->setText(text);
}

QLabel *captionFor(QLineEdit *edit, const QString &caption, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setBuddy(edit);
    return label;
}

} // namespace

Ttempcalcf::Ttempcalcf(Settings &settings, ScpiLink &link, QWidget *parent)
    : QMainWindow(parent), m_s(settings), m_link(link)
{
    setObjectName(QStringLiteral("Ttempcalcf"));
    setWindowTitle(QStringLiteral("Temperature calculation"));
    // Only the main window's closing ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto *central = new QWidget(this);
    auto *col = new QVBoxLayout(central);
    m_formulapage = new QTabWidget(central);
    m_formulapage->setObjectName(QStringLiteral("formulapage"));
    m_cvd_tab = buildCvdTab();
    m_sth_tab = buildSthTab();
    m_formulapage->addTab(m_cvd_tab, QStringLiteral(" Callendar-Van Dusen "));
    m_formulapage->setTabToolTip(CvdTab, QStringLiteral("RTD calculation (PT 100)"));
    m_formulapage->addTab(m_sth_tab, QStringLiteral(" Steinhart\u2013Hart "));
    m_formulapage->setTabToolTip(SthTab, QStringLiteral("Thermistor calculation"));
    col->addWidget(m_formulapage);

    auto *conv = new QGridLayout;
    m_resistle = field("resistle", QStringLiteral("90.1693126727978"), central);
    m_tempcalbtn = new QPushButton(QStringLiteral("Calculate te&mperature"), central);
    m_tempcalbtn->setObjectName(QStringLiteral("tempcalbtn"));
    m_tempcalbtn->setDefault(true);
    m_calcultle = field("calcultle", QStringLiteral("-300"), central);
    m_calcultle->setReadOnly(true);
    m_resatal = new QLabel(QStringLiteral("calculated back ") + kOhm, central);
    m_resatal->setObjectName(QStringLiteral("resatal"));
    m_resatal->setToolTip(QStringLiteral("Resistance calculated back from temperature"));
    m_reserrorl = new QLabel(QStringLiteral("Error ") + kOhm, central);
    m_reserrorl->setObjectName(QStringLiteral("reserrorl"));
    m_reserrorl->setToolTip(QStringLiteral(" calculation error in Ohms "));
    conv->addWidget(captionFor(m_resistle, QStringLiteral("&Rt - measured resistance"), central), 0,
                    0);
    conv->addWidget(m_resistle, 1, 0);
    conv->addWidget(m_tempcalbtn, 1, 1);
    conv->addWidget(captionFor(m_calcultle, QStringLiteral("Tem&perature \u00B0C"), central), 2, 0);
    conv->addWidget(m_calcultle, 3, 0);
    conv->addWidget(m_resatal, 4, 0, 1, 2);
    conv->addWidget(m_reserrorl, 5, 0, 1, 2);
    col->addLayout(conv);
    setCentralWidget(central);

    auto *bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("tstb1"));
    setStatusBar(bar);
    setStatus(QStringLiteral("Temperature"));
    for (QWidget *w : findChildren<QWidget *>()) {
        if (!w->toolTip().isEmpty())
            w->setStatusTip(w->toolTip());
    }

    buildMenus();

    connect(m_abcctn, &QPushButton::clicked, this, &Ttempcalcf::abcctnClick);
    connect(m_tempcalbtn, &QPushButton::clicked, this, &Ttempcalcf::tempcalbtnClick);
    // Enter in any field presses the default button, as in a dialog.
    for (QLineEdit *e : findChildren<QLineEdit *>())
        connect(e, &QLineEdit::returnPressed, m_tempcalbtn, &QPushButton::click);

    m_p = ProbeParams::initial();
    ShowProbe();
    ShowTab(CvdTab);
    setFixedSize(sizeHint());
}

QLineEdit *Ttempcalcf::field(const char *name, const QString &text, QWidget *parent)
{
    auto *e = new QLineEdit(text, parent);
    e->setObjectName(QLatin1String(name));
    NumericKeyFilter::install(e);
    return e;
}

QWidget *Ttempcalcf::buildCvdTab()
{
    auto *tab = new QWidget;
    tab->setObjectName(QStringLiteral("cvd_tab"));
    auto *grid = new QGridLayout(tab);
    m_R0LE = field("R0LE", QStringLiteral("100.00"), tab);
    m_alphale = field("alphale", QString(), tab);
    m_betale = field("betale", QString(), tab);
    m_deltale = field("deltale", QString(), tab);
    m_coefale = field("coefale", QString(), tab);
    m_coefble = field("coefble", QString(), tab);
    m_coefcle = field("coefcle", QString(), tab);
    const std::pair<QLineEdit *, const char16_t *> left[] = {
        {m_R0LE, u"R&0 - resistance at 0 \u00B0C"},
        {m_alphale, u"Alp&ha"},
        {m_betale, u"Be&ta"},
        {m_deltale, u"De&lta"}};
    const std::pair<QLineEdit *, const char16_t *> right[] = {
        {m_coefale, u"&A constant"}, {m_coefble, u"&B constant"}, {m_coefcle, u"&C constant"}};
    int row = 0;
    for (const auto &[edit, caption] : left) {
        grid->addWidget(captionFor(edit, QString::fromUtf16(caption), tab), row++, 0);
        grid->addWidget(edit, row++, 0);
    }
    row = 0;
    for (const auto &[edit, caption] : right) {
        grid->addWidget(captionFor(edit, QString::fromUtf16(caption), tab), row++, 1);
        grid->addWidget(edit, row++, 1);
    }
    m_abcctn = new QPushButton(QStringLiteral("Calc&ulate A, B, C "), tab);
    m_abcctn->setObjectName(QStringLiteral("abcctn"));
    m_abcctn->setAutoDefault(false);
    grid->addWidget(m_abcctn, row++, 1);
    m_allcalccb = new QCheckBox(QStringLiteral("Al&ways calculate A B C"), tab);
    m_allcalccb->setObjectName(QStringLiteral("allcalccb"));
    grid->addWidget(m_allcalccb, row, 1);
    return tab;
}

QWidget *Ttempcalcf::buildSthTab()
{
    auto *tab = new QWidget;
    tab->setObjectName(QStringLiteral("sth_tab"));
    auto *grid = new QGridLayout(tab);
    for (int i = 0; i < 8; ++i) {
        const QChar letter = i < 4 ? QLatin1Char('A') : QLatin1Char('B');
        const QString name =
            QStringLiteral("const") + letter + QString::number(i % 4) + QStringLiteral("le");
        m_const[i] = field(name.toLatin1().constData(), QString(), tab);
        // Alt+0..3 reach the A constants; the B ones would take the same keys.
        const QString caption = QStringLiteral("Constant ") + letter +
                                (i < 4 ? QStringLiteral("&") : QString()) + QString::number(i % 4);
        grid->addWidget(captionFor(m_const[i], caption, tab), 2 * (i % 4), i / 4);
        grid->addWidget(m_const[i], 2 * (i % 4) + 1, i / 4);
    }
    return tab;
}

void Ttempcalcf::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    QAction *open = file->addAction(QStringLiteral("Load probe"));
    open->setObjectName(QStringLiteral("Open1"));
    connect(open, &QAction::triggered, this, &Ttempcalcf::Open1Click);
    QAction *save = file->addAction(QStringLiteral("Save probe"));
    save->setObjectName(QStringLiteral("Saveprobe1"));
    connect(save, &QAction::triggered, this, &Ttempcalcf::Saveprobe1Click);
    file->addSeparator();
    m_Sendtemperaturetoinstrumentdisplay1 =
        file->addAction(QStringLiteral("Send temperature to instrument display"));
    m_Sendtemperaturetoinstrumentdisplay1->setObjectName(
        QStringLiteral("Sendtemperaturetoinstrumentdisplay1"));
    m_Sendtemperaturetoinstrumentdisplay1->setCheckable(true);
    connect(m_Sendtemperaturetoinstrumentdisplay1, &QAction::triggered, this, [this](bool now) {
        // The click handler decides from the state before the click.
        {
            const QSignalBlocker block(m_Sendtemperaturetoinstrumentdisplay1);
            m_Sendtemperaturetoinstrumentdisplay1->setChecked(!now);
        }
        Sendtemperaturetoinstrumentdisplay1Click();
    });
    file->addSeparator();
    QAction *close = file->addAction(QStringLiteral("Close"));
    close->setObjectName(QStringLiteral("Closetcf"));
    connect(close, &QAction::triggered, this, &QWidget::hide);

    QMenu *probesMenu = menuBar()->addMenu(QStringLiteral("Standard probes"));
    probesMenu->setObjectName(QStringLiteral("Standartprobes1"));
    for (const probes::CatalogueEntry &e : probes::catalogue()) {
        if (e.kind == probes::EntryKind::Separator) {
            probesMenu->addSeparator()->setObjectName(QLatin1String(e.name));
            continue;
        }
        QAction *a = probesMenu->addAction(QString::fromUtf16(e.caption));
        a->setObjectName(QLatin1String(e.name));
        if (e.kind == probes::EntryKind::Heading) {
            a->setEnabled(false);
            continue;
        }
        connect(a, &QAction::triggered, this, [this, &e] { ChooseStandardProbe(e); });
    }

    m_prbfilename = menuBar()->addAction(QStringLiteral("selected probe"));
    m_prbfilename->setObjectName(QStringLiteral("prbfilename"));
    connect(m_prbfilename, &QAction::triggered, this, &Ttempcalcf::prbfilenameClick);

    m_Temperaturecalculation1 =
        new QAction(QStringLiteral("Temperature probe parameters..."), this);
    m_Temperaturecalculation1->setObjectName(QStringLiteral("Temperaturecalculation1"));
    connect(m_Temperaturecalculation1, &QAction::triggered, this,
            &Ttempcalcf::Temperaturecalculation1Click);
}

void Ttempcalcf::startUp()
{
    LoadProbeFile(m_s.LastProbeFile);
    if (m_s.SendTemToDisplay)
        m_Sendtemperaturetoinstrumentdisplay1->setChecked(true);
}

// ---- field forms

QString Ttempcalcf::generalText(long double v)
{
    return numtext::formatGeneral(v);
}

QString Ttempcalcf::coefficientText(long double v)
{
    if (!std::isfinite(v))
        return numtext::formatGeneral(v);
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 7);
    const QString s = QString::fromLatin1(buf, res.ptr - buf);
    const qsizetype e = s.indexOf(QLatin1Char('e'));
    const QChar sign = s.at(e + 1);
    const QString digits = s.mid(e + 2);
    return s.left(e) + QLatin1Char('E') + sign + digits.rightJustified(3, QLatin1Char('0'));
}

QString Ttempcalcf::temperatureText(long double v)
{
    return numtext::formatFixed(v, 6);
}

QString Ttempcalcf::displayCommand(long double t)
{
    return QStringLiteral("DISP:TEXT '") + numtext::formatFixed(t, 4).rightJustified(9) +
           QStringLiteral(" \u00B0C'");
}

// ---- fields

bool Ttempcalcf::cvdActive() const
{
    return m_formulapage->currentIndex() == CvdTab;
}

void Ttempcalcf::writeCvdFields()
{
    setText(m_R0LE, generalText(m_p.R0));
    setText(m_alphale, generalText(m_p.alpha));
    setText(m_betale, generalText(m_p.beta));
    setText(m_deltale, generalText(m_p.delta));
}

void Ttempcalcf::writeAbc()
{
    setText(m_coefale, coefficientText(m_p.A));
    setText(m_coefble, coefficientText(m_p.B));
    setText(m_coefcle, coefficientText(m_p.C));
}

void Ttempcalcf::writeThermistorFields()
{
    const long double v[8] = {m_p.A0, m_p.A1, m_p.A2, m_p.A3, m_p.B0, m_p.B1, m_p.B2, m_p.B3};
    for (int i = 0; i < 8; ++i)
        setText(m_const[i], generalText(v[i]));
}

void Ttempcalcf::readThermistorFields(ProbeParams &p) const
{
    long double *v[8] = {&p.A0, &p.A1, &p.A2, &p.A3, &p.B0, &p.B1, &p.B2, &p.B3};
    for (int i = 0; i < 8; ++i)
        *v[i] = fieldValue(m_const[i]);
}

void Ttempcalcf::readCvdFields(ProbeParams &p) const
{
    p.R0 = fieldValue(m_R0LE);
    p.alpha = fieldValue(m_alphale);
    p.beta = fieldValue(m_betale);
    p.delta = fieldValue(m_deltale);
    p.A = fieldValue(m_coefale);
    p.B = fieldValue(m_coefble);
    p.C = fieldValue(m_coefcle);
}

QString Ttempcalcf::fieldCaption(const QString &key) const
{
    const std::pair<const char *, const QLineEdit *> fields[] = {
        {"Res-0", m_R0LE},      {"Con-A", m_coefale},   {"Con-B", m_coefble},
        {"Con-C", m_coefcle},   {"Alpha", m_alphale},   {"Beta", m_betale},
        {"Delta", m_deltale},   {"consA0", m_const[0]}, {"consA1", m_const[1]},
        {"consA2", m_const[2]}, {"consA3", m_const[3]}, {"consB0", m_const[4]},
        {"consB1", m_const[5]}, {"consB2", m_const[6]}, {"consB3", m_const[7]}};
    for (const auto &[name, edit] : fields) {
        if (key.compare(QLatin1String(name), Qt::CaseInsensitive) != 0)
            continue;
        for (const QLabel *l : findChildren<QLabel *>()) {
            if (l->buddy() == edit)
                return l->text().remove(QLatin1Char('&')) + QStringLiteral(" (") + key +
                       QLatin1Char(')');
        }
    }
    return key;
}

bool Ttempcalcf::takeProbe(const ProbeParams &next, int formulaType, const QString &context)
{
    const QString bad = probes::unusableKey(next, formulaType);
    if (!bad.isEmpty()) {
        const bool r0 = bad == QLatin1String("Res-0");
        dialogs::ShowNotice(this, context + fieldCaption(bad) +
                                      (r0 ? QStringLiteral(" must be a number above 0.")
                                          : QStringLiteral(" is not a usable number.")) +
                                      QStringLiteral("\nThe probe in use stays."));
        return false;
    }
    m_p = next;
    return true;
}

void Ttempcalcf::ShowProbe()
{
    writeCvdFields();
    writeAbc();
    writeThermistorFields();
    rebuildProbeLine();
}

void Ttempcalcf::ShowTab(Tab tab)
{
    const Tab other = tab == CvdTab ? SthTab : CvdTab;
    m_formulapage->setTabVisible(tab, true);
    m_formulapage->setCurrentIndex(tab);
    m_formulapage->setTabVisible(other, false);
}

void Ttempcalcf::prbfilenameClick()
{
    m_formulapage->setTabVisible(CvdTab, true);
    m_formulapage->setTabVisible(SthTab, true);
}

void Ttempcalcf::rebuildProbeLine()
{
    const QChar tab = QLatin1Char('\t');
    QString s = QStringLiteral("#T! ") + tab + QStringLiteral("R0 ") + m_R0LE->text() + tab +
                QStringLiteral("RTDA ") + m_coefale->text() + tab + QStringLiteral("RTDB ") +
                m_coefble->text() + tab + QStringLiteral("RTDC ") + m_coefcle->text() + tab +
                QStringLiteral("rtdAlpha ") + m_alphale->text() + tab + QStringLiteral("rtdBeta ") +
                m_betale->text() + tab + QStringLiteral("rtdDelta ") + m_deltale->text() + tab +
                QStringLiteral("Thermistor A-A3 ");
    for (int i = 0; i < 8; ++i) {
        if (i == 4)
            s += tab + QStringLiteral("Thermistor B0-B3 ");
        else if (i > 0)
            s += tab;
        s += m_const[i]->text();
    }
    s += tab + QStringLiteral("File: ") + m_prbfilename->text();
    m_probeLine = s;
    emit probeLineChanged(m_probeLine);
}

void Ttempcalcf::setStatus(const QString &text)
{
    if (statusBar()->currentMessage() != text)
        statusBar()->showMessage(text);
}

QString Ttempcalcf::statusText() const
{
    return statusBar()->currentMessage();
}

bool Ttempcalcf::sendsToDisplay() const
{
    return m_Sendtemperaturetoinstrumentdisplay1->isChecked();
}

// ---- conversions

void Ttempcalcf::showResults(bool errorToo)
{
    m_resatal->setText(generalText(m_RBack) + QLatin1Char(' ') + kOhm);
    if (errorToo)
        m_reserrorl->setText(FormatValue(m_Rt - m_RBack) + kOhm);
    setText(m_calcultle, temperatureText(m_Temperature));
}

void Ttempcalcf::abcctnClick()
{
    ProbeParams next = m_p;
    next.R0 = fieldValue(m_R0LE);
    next.alpha = fieldValue(m_alphale);
    next.beta = fieldValue(m_betale);
    next.delta = fieldValue(m_deltale);
    if (!takeProbe(next, 1, QString()))
        return;
    writeCvdFields();
    if (m_p.alpha != 0 && m_p.beta != 0 && m_p.delta != 0 && m_p.R0 != 0) {
        m_p.deriveAbc();
        writeAbc();
    } else {
        setStatus(kNotCalculated);
    }
}

void Ttempcalcf::computeCvd(bool errorToo)
{
    writeAbc();
    const CvdResult r = CvdTemperature(m_Rt, m_p.R0, m_p.A, m_p.B, m_p.C);
    m_Temperature = r.Temperature;
    m_EvalCount = r.EvalCount;
    m_RBack = CvdResistance(m_Temperature, m_p.R0, m_p.A, m_p.B, m_p.C);
    showResults(errorToo);
    setStatus(r.calculated ? QStringLiteral("Calculations: ") + QString::number(m_EvalCount)
                           : kNotCalculated);
}

void Ttempcalcf::computeThermistor(bool errorToo)
{
    const ThermistorResult r = ThermistorTemperature(m_Rt, m_p.A0, m_p.A1, m_p.A2, m_p.A3);
    m_Temperature = r.Temperature;
    m_TKelvin = r.TKelvin;
    m_RBack = ThermistorResistance(m_TKelvin, m_p.B0, m_p.B1, m_p.B2, m_p.B3);
    showResults(errorToo);
    // The thermistor path keeps the status text unless there is no result.
    if (!r.calculated)
        setStatus(kNotCalculated);
}

void Ttempcalcf::tempcalbtnClick()
{
    m_Temperature = kNoTemperature;
    m_Rt = numberOf(m_resistle->text().replace(QLatin1Char(','), QLatin1Char('.')));
    m_resistle->setText(generalText(m_Rt));
    ProbeParams next = m_p;
    if (cvdActive()) {
        next.R0 = fieldValue(m_R0LE);
        setText(m_R0LE, generalText(next.R0));
        next.A = fieldValue(m_coefale);
        next.B = fieldValue(m_coefble);
        next.C = fieldValue(m_coefcle);
        const bool derive = m_allcalccb->isChecked();
        if (derive) {
            next.alpha = fieldValue(m_alphale);
            next.beta = fieldValue(m_betale);
            next.delta = fieldValue(m_deltale);
        }
        if (!takeProbe(next, 1, QString()))
            return;
        if (derive) {
            writeCvdFields();
            if (m_p.alpha == 0 || m_p.beta == 0 || m_p.delta == 0)
                return;
            m_p.deriveAbc();
        }
        computeCvd(true);
    } else {
        readThermistorFields(next);
        if (!takeProbe(next, 2, QString()))
            return;
        writeThermistorFields();
        computeThermistor(true);
    }
    sendTemperature();
}

long double Ttempcalcf::ConvertReading(long double Rt)
{
    m_Temperature = kNoTemperature;
    m_Rt = Rt;
    m_resistle->setText(generalText(Rt));
    // An open or overloaded sensor, or a reading that failed: no formula may turn it into
    // a believable temperature.
    if (!isResistanceReading(Rt)) {
        setText(m_calcultle, temperatureText(m_Temperature));
        setStatus(kNotCalculated);
        sendTemperature();
        return m_Temperature;
    }
    if (cvdActive()) {
        writeCvdFields();
        if (m_p.R0 == 0)
            return kNoTemperature;
        if (m_allcalccb->isChecked()) {
            if (m_p.alpha == 0 || m_p.beta == 0 || m_p.delta == 0)
                return kNoTemperature;
            m_p.deriveAbc();
        }
        computeCvd(false);
    } else {
        writeThermistorFields();
        computeThermistor(false);
    }
    sendTemperature();
    return m_Temperature;
}

void Ttempcalcf::sendTemperature()
{
    if (m_Sendtemperaturetoinstrumentdisplay1->isChecked())
        // No read follows, so the command goes without the link's 1 ms pause: that pause
        // alone would cost automatic measuring a sixth of its readings.
        m_link.SendCmd(displayCommand(m_Temperature), false);
}

void Ttempcalcf::Sendtemperaturetoinstrumentdisplay1Click()
{
    const bool was = m_Sendtemperaturetoinstrumentdisplay1->isChecked();
    if (was)
        m_link.SendCmd(QStringLiteral("DISP:TEXT:CLE"));
    m_Sendtemperaturetoinstrumentdisplay1->setChecked(!was);
    m_s.SendTemToDisplay = !was;
}

// ---- probes

void Ttempcalcf::ChooseStandardProbe(const probes::CatalogueEntry &entry)
{
    if (!dialogs::AskYesNo(this, windowTitle(),
                           lang::text(u"sSetProbeDa") + probes::questionSuffix(entry)))
        return;
    probes::applyEntry(entry, m_p);
    // The name goes in first so that the probe line names the probe it describes.
    m_prbfilename->setText(QString::fromUtf16(entry.caption));
    if (entry.kind == probes::EntryKind::Abc) {
        setText(m_R0LE, QStringLiteral("100"));
        writeAbc();
        setText(m_alphale, generalText(m_p.alpha));
        setText(m_betale, generalText(m_p.beta));
        setText(m_deltale, generalText(m_p.delta));
        m_allcalccb->setChecked(false);
        rebuildProbeLine();
    } else {
        m_p.deriveAbc();
        ShowProbe();
    }
    ShowTab(entry.kind == probes::EntryKind::Thermistor ? SthTab : CvdTab);
}

bool Ttempcalcf::LoadProbeFile(const QString &path)
{
    const QFileInfo info(path);
    const QString failed =
        QStringLiteral("Load probe from file:\n") + path + QStringLiteral("\n  Failed.");
    if (!path.isEmpty() && info.isFile()) {
        // Read aside: a damaged file must leave the probe in use as it was.
        ProbeParams next = m_p;
        QString badKey;
        const int type = probes::readProbeFile(path, next, &badKey);
        if (type == 0) {
            m_prbfilename->setText(info.fileName());
            dialogs::ShowNotice(this, failed);
        } else if (type == 1 || type == 2) {
            if (!badKey.isEmpty())
                dialogs::ShowNotice(this, failed + QStringLiteral("\n") + fieldCaption(badKey) +
                                              QStringLiteral(" is not a usable number.\n"
                                                             "The probe in use stays."));
            if (!badKey.isEmpty() || !takeProbe(next, type, failed + QStringLiteral("\n"))) {
                ShowProbe();
                return false;
            }
            m_prbfilename->setText(info.fileName());
            m_p.FormulaType = type;
            ShowTab(type == 1 ? CvdTab : SthTab);
        } else {
            m_prbfilename->setText(info.fileName());
        }
    }
    ShowProbe();
    return true;
}

void Ttempcalcf::setOpenNameHandler(OpenNameHandler h)
{
    openNameHandler() = std::move(h);
}

QString Ttempcalcf::openFileName()
{
    if (openNameHandler())
        return openNameHandler()();
    int filter = 1;
    return dialogs::GetOpenFileName(this, QStringLiteral("Load probe"), m_s.DataDir, kProbeFilters,
                                    &filter);
}

void Ttempcalcf::Open1Click()
{
    const QString before = m_s.LastProbeFile;
    m_s.LastProbeFile.clear();
    const QString name = openFileName();
    if (name.isEmpty())
        return;
    m_s.LastProbeFile = QFileInfo(name).absoluteFilePath();
    // A refused file is not the probe in use: the next start must not load it either.
    if (!LoadProbeFile(m_s.LastProbeFile))
        m_s.LastProbeFile = before;
}

void Ttempcalcf::Saveprobe1Click()
{
    const QString proposed =
        m_s.DataDir + QStringLiteral("Probe-") +
        QStringLiteral("%1").arg(QTime::currentTime().msec(), 3, 10, QLatin1Char('0'));
    int filter = 1;
    QString name = dialogs::GetSaveFileName(this, QStringLiteral("Save probe"), proposed,
                                            kProbeFilters, &filter);
    if (!name.isEmpty()) {
        if (QFileInfo(name).suffix().isEmpty())
            name += QStringLiteral(".prb");
        ProbeParams next = m_p;
        readCvdFields(next);
        readThermistorFields(next);
        next.FormulaType = cvdActive() ? 1 : 2;
        if (!takeProbe(next, next.FormulaType, QString())) {
            rebuildProbeLine();
            return;
        }
        QString error;
        if (probes::writeProbeFile(name, m_p, m_p.FormulaType, &error))
            m_prbfilename->setText(QFileInfo(name).fileName());
        else
            dialogs::ShowError(this, QStringLiteral("Save probe to file:\n") + name +
                                         QStringLiteral("\n  Failed.\n") + error);
    }
    rebuildProbeLine();
}

void Ttempcalcf::Temperaturecalculation1Click()
{
    if (isVisible()) {
        raise();
        activateWindow();
    } else {
        show();
    }
}

void Ttempcalcf::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    // Fixed to what the captions of the language need.
    if (e->type() == QEvent::LanguageChange) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        // Hidden pages keep the sizes of the old captions until asked anew.
        for (QWidget *w : findChildren<QWidget *>())
            w->updateGeometry();
        for (QLayout *l : findChildren<QLayout *>())
            l->invalidate();
        setFixedSize(sizeHint());
    }
}

void Ttempcalcf::closeEvent(QCloseEvent *e)
{
    e->ignore();
    hide();
}
