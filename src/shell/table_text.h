// Texts from the engine's tables (variant names and descriptions, switch
// labels and help) as the window shows them: the table's English text is the
// source text of the translation.
#pragma once

#include <QCoreApplication>
#include <QString>

#include <string>
#include <string_view>

namespace qf::shell {

inline QString TableText(const char* context, std::string_view text)
{
    return QCoreApplication::translate(context, std::string(text).c_str());
}

} // namespace qf::shell
