#include "editor/Find.h"

namespace {
QString searchTerm;
}

long FindInEditor(QsciScintillaBase *, const QByteArray &, FindDirection)
{
    return 0;
}

void FindCommand() {}

void FindAgainCommand(FindDirection) {}

QString SearchTerm()
{
    return searchTerm;
}

void ResetSearchTerm()
{
    searchTerm.clear();
}
