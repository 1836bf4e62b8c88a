// The C++ side of the Python package's benchmark (bench/python_bench.py): the same work as the
// Python side, through the client library directly, timed inside the process so that only the
// work is measured.
//   python_client_side SOCKET TOKEN type TEXT    types TEXT with the US layout
//   python_client_side SOCKET TOKEN move COUNT   COUNT one-count moves, right and left in turn
// Prints the seconds the work took.
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include "virelo/client/client.h"
#include "virelo/client/layouts.h"

int main(int argc, char** argv) {
  using namespace virelo::client;
  if (argc != 5) {
    std::fprintf(stderr, "usage: python_client_side SOCKET TOKEN type TEXT | move COUNT\n");
    return 2;
  }
  try {
    Client client(argv[1]);
    client.hello(argv[2]);
    const std::string work = argv[3];
    const auto start = std::chrono::steady_clock::now();
    if (work == "type") {
      typeText(client, argv[4], KeyboardLayout::us());
    } else {
      const int count = std::stoi(argv[4]);
      for (int i = 0; i < count; ++i) client.move(i % 2 == 0 ? 1 : -1, 0);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.6f\n", took.count());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "python_client_side: %s\n", e.what());
    return 1;
  }
  return 0;
}
