// A shared library that loads fine but is no component library: it exports none of the four
// entry points.

extern "C" __attribute__((visibility("default"))) int KestrionNotAComponent() {
    return 42;
}
