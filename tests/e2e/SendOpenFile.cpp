// Sends the open-file message to a running viewer, as another program would:
// connect to its local socket, write the name, close.
#include <QCoreApplication>
#include <QLocalSocket>
#include <cstdio>

#include "OpenFileMessage.h"

int main(int argc, char** argv) {
  QCoreApplication App(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: pelorin_send_open FILE\n");
    return 2;
  }
  QLocalSocket Socket;
  Socket.connectToServer(OpenFileServerName());
  if (!Socket.waitForConnected(3000)) {
    std::fprintf(stderr, "pelorin_send_open: no viewer listens on %s\n", qPrintable(OpenFileServerName()));
    return 1;
  }
  Socket.write(QString::fromLocal8Bit(argv[1]).toUtf8());
  Socket.waitForBytesWritten(3000);
  Socket.disconnectFromServer();
  if (Socket.state() != QLocalSocket::UnconnectedState)
    Socket.waitForDisconnected(3000);
  return 0;
}
