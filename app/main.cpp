#include "about/program_icon.h"
#include "ui/main_window.h"

#include <QApplication>

int main(int argc, char *argv[]) {
  QApplication app(argc, argv);
  app.setWindowIcon(vf::programIcon());

  Form1 window;
  window.show();
  window.Form_Load();
  return app.exec();
}
