#pragma once

class QString;
class QWidget;

// The boxes every EDID operation shares.

// The pane's text is not a whole EDID.
void showHexFormatError(QWidget *window);

// "The EDID Checksum is not correct." with the operation's question; true when answered Yes.
bool askAboutWrongChecksum(const QString &question);
