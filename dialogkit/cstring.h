// The dialogs' text type.
#pragma once

#include <QString>

using CString = QString;
