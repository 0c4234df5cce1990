// The entry of the show.
#include <cstdio>

int main() {
    std::puts("Brindlehop: a real-time audiovisual demo (the show is not built yet).");
    return 0;
}
