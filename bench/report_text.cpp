#include "bench/report_text.h"

#include <cstdio>
#include <iostream>

namespace virelo::bench {

std::string format(double v, int decimals) {
  char text[64];
  std::snprintf(text, sizeof(text), "%.*f", decimals, v);
  return text;
}

double micros(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

void progress(const std::string& text) {
  std::cerr << "… " << text << std::endl;
}

}  // namespace virelo::bench
