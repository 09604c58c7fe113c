// The toolkit's own idle cost, for comparison with the program's: a window
// and one 10 ms timer with nothing to do, on the same event loop settings.
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(442, 416);
  window.show();
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  QObject::connect(&tick, &QTimer::timeout, [] {});
  tick.start(10);
  return app.exec();
}
