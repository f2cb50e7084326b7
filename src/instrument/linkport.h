// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "instrument/setupsequence.h"

class ScpiLink;

// The instrument set-up sequences running over the program's SCPI link.
class LinkPort : public ScpiPort
{
public:
    explicit LinkPort(ScpiLink &link) : m_link(link) {}

    void SendCmd(const QString &command) override;
    QString ReadReply(bool quick = false) override;
    QString ReadValue() override;
    void DelayMs(int ms) override;
    SystErr ParseSystErr() override;
    Identity identity() const override;

private:
    ScpiLink &m_link;
};
