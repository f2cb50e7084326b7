// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "probe.h"

#include <QMainWindow>

#include <functional>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabWidget;
class ScpiLink;
struct Settings;

// The temperature window: the current probe, manual conversion, the probe catalogue and
// files, and the automatic conversion of readings with sending to the instrument display.
class Ttempcalcf : public QMainWindow
{
    Q_OBJECT
public:
    enum Tab { CvdTab = 0, SthTab = 1 };

    Ttempcalcf(Settings &settings, ScpiLink &link, QWidget *parent = nullptr);

    // The main window's "Temperature probe parameters..." command, to be placed there.
    QAction *Temperaturecalculation1() const { return m_Temperaturecalculation1; }
    // After the main window shows: the last probe file and the display sending state.
    void startUp();

    // One processed reading (ohms) with the stored probe; the temperature in degrees.
    long double ConvertReading(long double Rt);

    void ShowProbe();
    void ShowTab(Tab tab);
    // False when the file was refused (the probe in use stays).
    bool LoadProbeFile(const QString &path);
    void ChooseStandardProbe(const probes::CatalogueEntry &entry);

    void abcctnClick();
    void tempcalbtnClick();
    void Open1Click();
    void Saveprobe1Click();
    void Sendtemperaturetoinstrumentdisplay1Click();
    void prbfilenameClick();
    void Temperaturecalculation1Click();

    const ProbeParams &probe() const { return m_p; }
    long double Temperature() const { return m_Temperature; }
    long double RBack() const { return m_RBack; }
    long double TKelvin() const { return m_TKelvin; }
    qint32 EvalCount() const { return m_EvalCount; }
    QString probeLine() const { return m_probeLine; }
    QString statusText() const;
    bool sendsToDisplay() const;

    // Tests answer the open dialog; empty means cancelled.
    using OpenNameHandler = std::function<QString()>;
    static void setOpenNameHandler(OpenNameHandler h);

    // The field forms: general, coefficient ("%2.8e") and temperature ("%0.6f").
    static QString generalText(long double v);
    static QString coefficientText(long double v);
    static QString temperatureText(long double v);
    // The DISP:TEXT command for one temperature.
    static QString displayCommand(long double t);

signals:
    // The probe line, for the automatic data file's pending comment.
    void probeLineChanged(const QString &line);

protected:
    void closeEvent(QCloseEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    void buildMenus();
    QWidget *buildCvdTab();
    QWidget *buildSthTab();
    QLineEdit *field(const char *name, const QString &text, QWidget *parent);
    bool cvdActive() const;
    void readCvdFields(ProbeParams &p) const;
    void readThermistorFields(ProbeParams &p) const;
    // Makes `next` the probe, or refuses it with a message naming the field that makes it
    // unusable; `context` opens the message.
    bool takeProbe(const ProbeParams &next, int formulaType, const QString &context);
    QString fieldCaption(const QString &key) const;
    void writeCvdFields();
    void writeAbc();
    void writeThermistorFields();
    // With m_Rt and the probe: temperature, way back and the fields that show them.
    void computeCvd(bool errorToo);
    void computeThermistor(bool errorToo);
    void showResults(bool errorToo);
    void sendTemperature();
    void rebuildProbeLine();
    void setStatus(const QString &text);
    QString openFileName();

    Settings &m_s;
    ScpiLink &m_link;
    ProbeParams m_p;
    long double m_Rt = 0;
    long double m_Temperature = -300;
    long double m_RBack = 0;
    long double m_TKelvin = 0;
    qint32 m_EvalCount = 0;
    bool m_calculated = true;
    QString m_probeLine;

    QTabWidget *m_formulapage = nullptr;
    QWidget *m_cvd_tab = nullptr;
    QWidget *m_sth_tab = nullptr;
    QLineEdit *m_R0LE = nullptr;
    QLineEdit *m_alphale = nullptr;
    QLineEdit *m_betale = nullptr;
    QLineEdit *m_deltale = nullptr;
    QLineEdit *m_coefale = nullptr;
    QLineEdit *m_coefble = nullptr;
    QLineEdit *m_coefcle = nullptr;
    QPushButton *m_abcctn = nullptr;
    QCheckBox *m_allcalccb = nullptr;
    QLineEdit *m_const[8] = {}; // A0..A3, B0..B3
    QLineEdit *m_resistle = nullptr;
    QPushButton *m_tempcalbtn = nullptr;
    QLineEdit *m_calcultle = nullptr;
    QLabel *m_resatal = nullptr;
    QLabel *m_reserrorl = nullptr;
    QAction *m_Sendtemperaturetoinstrumentdisplay1 = nullptr;
    QAction *m_prbfilename = nullptr;
    QAction *m_Temperaturecalculation1 = nullptr;
};
