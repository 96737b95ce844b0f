// mainwindow.cpp -- the main window and page sequencing.
#include "ui/mainwindow.h"

volatile LONG g_abortFlag;
