#pragma once
// The stylesheet library: the css folder, its default air.css, the menu list and the
// commands that choose the stylesheet in use.

#include <QByteArray>
#include <QString>

QString StylesheetFolder();          // ending in "/"
QString DefaultStylesheetPath();     // the library's air.css
QByteArray DefaultStylesheetText();  // the bytes written as air.css

bool PrepareStylesheetFolder();
void UseStylesheet(const QString &path);
void LoadStylesheet();
// Menu command 100 + index.
void UseStylesheetEntry(int index);
