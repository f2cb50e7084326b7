// SPDX-License-Identifier: GPL-3.0-or-later
#include "linkport.h"

#include "link/scpilink.h"

void LinkPort::SendCmd(const QString &command)
{
    m_link.SendCmd(command);
}

QString LinkPort::ReadReply(bool quick)
{
    return m_link.ReadReply(quick);
}

QString LinkPort::ReadValue()
{
    return m_link.ReadValue();
}

void LinkPort::DelayMs(int ms)
{
    ScpiLink::DelayMs(ms);
}

ScpiPort::SystErr LinkPort::ParseSystErr()
{
    m_link.ParseSystErr();
    return {m_link.errcode, m_link.errtext};
}

ScpiPort::Identity LinkPort::identity() const
{
    return {m_link.maker, m_link.model, m_link.serial, m_link.caldate};
}
