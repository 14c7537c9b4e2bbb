#include "monitor/console/console_outlets.h"

void ConsoleOutlets::InsertLogRow(U16View text) { sink_(Utf8FromU16(text) + "\r\n"); }

int ConsoleOutlets::ShowNotification(int show, int /*seconds*/, U16View text, U16View title) {
  if (show != 0) sink_("[" + Utf8FromU16(title) + "] " + Utf8FromU16(text) + "\r\n");
  return 1;
}

void ConsoleOutlets::SetTrayTip(U16View /*text*/) {}
