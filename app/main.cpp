#include "driver/start_up.h"

int main(int argc, char** argv) {
    return varnel::Main(argc, argv);
}
