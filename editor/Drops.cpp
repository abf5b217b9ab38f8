#include "editor/Drops.h"

void InstallDropHandling(QWidget *) {}
