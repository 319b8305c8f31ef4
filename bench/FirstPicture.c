/* Starts a viewer and answers the seconds until its picture is on the screen:
   the moment the root window holds enough pixels of the test image's tint
   (red and blue high, green low), which no viewer uses for itself. Watching
   the screen measures every viewer the same way, whatever it reports.
     FirstPicture MIN_PIXELS TIMEOUT_S program [args...]                    */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double Now(void) {
  struct timespec T;
  clock_gettime(CLOCK_MONOTONIC, &T);
  return T.tv_sec + T.tv_nsec / 1e9;
}

static long TintedPixels(Display* D, Window Root, int W, int H) {
  XImage* Img = XGetImage(D, Root, 0, 0, (unsigned)W, (unsigned)H, AllPlanes, ZPixmap);
  if (!Img)
    return 0;
  long Count = 0;
  /* Every fourth pixel of every fourth row: enough to see a picture. */
  for (int Y = 0; Y < H; Y += 4)
    for (int X = 0; X < W; X += 4) {
      const unsigned long P = XGetPixel(Img, X, Y);
      const unsigned R = (P >> 16) & 0xFF, G = (P >> 8) & 0xFF, B = P & 0xFF;
      Count += R > 150 && B > 150 && G < 110;
    }
  XDestroyImage(Img);
  return Count * 16;
}

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: %s MIN_PIXELS TIMEOUT_S program [args...]\n", argv[0]);
    return 2;
  }
  const long MinPixels = atol(argv[1]);
  const double Timeout = atof(argv[2]);
  Display* D = XOpenDisplay(NULL);
  if (!D) {
    fprintf(stderr, "no display\n");
    return 2;
  }
  const Window Root = DefaultRootWindow(D);
  const int W = DisplayWidth(D, DefaultScreen(D)), H = DisplayHeight(D, DefaultScreen(D));
  if (TintedPixels(D, Root, W, H) >= MinPixels) {
    fprintf(stderr, "the screen shows the picture already\n");
    return 2;
  }
  const double T0 = Now();
  const pid_t Child = fork();
  if (Child == 0) {
    execvp(argv[3], argv + 3);
    _exit(127);
  }
  int Result = 1;
  while (Now() - T0 < Timeout) {
    if (TintedPixels(D, Root, W, H) >= MinPixels) {
      printf("%.3f\n", Now() - T0);
      Result = 0;
      break;
    }
    if (waitpid(Child, NULL, WNOHANG) == Child) {
      fprintf(stderr, "%s ended before its picture showed\n", argv[3]);
      XCloseDisplay(D);
      return 1;
    }
  }
  kill(Child, SIGTERM);
  waitpid(Child, NULL, 0);
  XCloseDisplay(D);
  if (Result)
    fprintf(stderr, "%s showed no picture within %.0f s\n", argv[3], Timeout);
  return Result;
}
