// Owns the X clipboard for the end-to-end tests: offers the bytes of the
// file it is given, as they are (valid UTF-8 or not), as text, writes
// "ready" once it owns the clipboard, and keeps offering them until killed.
#include <QByteArray>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <cstdio>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc < 2) return 2;
  QFile file(QString::fromLocal8Bit(argv[1]));
  if (!file.open(QIODevice::ReadOnly)) return 1;
  const QByteArray bytes = file.readAll();
  auto* data = new QMimeData;
  data->setData(QStringLiteral("text/plain;charset=utf-8"), bytes);
  data->setData(QStringLiteral("text/plain"), bytes);
  QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
  std::puts("ready");
  std::fflush(stdout);
  return app.exec();
}
