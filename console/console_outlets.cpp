#include "console/console_outlets.h"

void ConsoleOutlets::InsertLogRow(U16View text) {
  std::string line = Utf8FromU16(text);
  line += "\r\n";
  sink_(line);
}

int ConsoleOutlets::ShowNotification(int show, int /*seconds*/, U16View text, U16View title) {
  if (show == 0) return 1;
  std::string line("[");
  line += Utf8FromU16(title);
  line += "] ";
  line += Utf8FromU16(text);
  line += "\r\n";
  sink_(line);
  return 1;
}

void ConsoleOutlets::SetTrayTip(U16View /*text*/) {}
