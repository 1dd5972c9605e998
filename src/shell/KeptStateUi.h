// The main window's side of what the program keeps between runs: the setting's menu item and the
// messages about kept files.
#pragma once

class QAction;
class QWidget;

// "Запоминать подключения и историю", checkable, checked as the kept setting stands; turning it
// off removes what was kept. Also has the kept state's problems shown over window, each once the
// event loop has its turn (never inside the code that found them).
QAction* MakeKeptStateAction(QWidget* window);
