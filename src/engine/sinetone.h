// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone.h"

#include <QBuffer>
#include <QByteArray>
#include <QObject>

#include <memory>

class QAudioSink;

// Beeps as a generated sine on the default sound output; silent where there is none.
class SineTone : public QObject, public ToneOutput
{
    Q_OBJECT
public:
    explicit SineTone(QObject *parent = nullptr);
    ~SineTone() override;

    void beep(int frequencyHz, int durationMs) override;

    // 16-bit mono samples of a sine with short fades, so it does not click.
    static QByteArray samples(int frequencyHz, int durationMs, int sampleRate);

private:
    std::unique_ptr<QAudioSink> m_sink;
    QBuffer m_buffer;
    QByteArray m_data;
};
