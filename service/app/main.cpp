#include <cstdlib>

#include "service/startup.h"

int main(int argc, char** argv) {
  return virelo::runService(argc, argv);
}
