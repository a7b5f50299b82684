// Owns the X clipboard for the end-to-end tests: offers the bytes of the file
// it is given as text, as they are, says "ready" and offers them until killed.
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <cstdio>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  QFile file(argc == 2 ? QString::fromLocal8Bit(argv[1]) : QString());
  if (!file.open(QIODevice::ReadOnly)) return 2;
  auto* data = new QMimeData;
  data->setData(QStringLiteral("text/plain;charset=utf-8"), file.readAll());
  data->setData(QStringLiteral("text/plain"),
                data->data(QStringLiteral("text/plain;charset=utf-8")));
  QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
  std::puts("ready");
  std::fflush(stdout);
  return app.exec();
}
