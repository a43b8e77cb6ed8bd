// CString to Qt's text and back, at the Qt half's edge.
#pragma once

#include <QString>

#include "cstring.h"

namespace dialogkit {

inline QString ToQString(const CString& text)
{
    return QString::fromUtf8(text.GetString(), text.GetLength());
}

inline CString ToCString(const QString& text)
{
    return CString(text.toUtf8().toStdString());
}

} // namespace dialogkit
