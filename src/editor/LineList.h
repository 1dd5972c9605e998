// The line-list form: a list of lines held as one string, items joined by commas. The console keeps
// its query history in it and the editor's line store reads and writes it.
#pragma once

#include <QString>
#include <QStringList>

// Joins the lines with commas. A line holding a character with code 0 to 32, a double quote or a
// comma is written between double quotes with its double quotes doubled; other lines, the empty one
// included, go as they are. A single empty line is written as two double quotes, so that it reads
// back as a line.
QString FormatLineList(const QStringList& lines);

// Reads the lines back. Characters with codes 1 to 32 before an item and after it are skipped. An
// item that begins with a double quote runs to the next lone double quote (a doubled one stands for
// one; a missing closing quote ends the item at the end of the text); any other item runs up to the
// next character with code 0 to 32 or comma. A comma after an item is passed over with the blanks
// after it; a comma that is the last character adds one empty line. A zero character outside quotes
// ends an item and is skipped like a blank.
QStringList ParseLineList(const QString& text);
