// A small plug-in library for the library-loading tests.
extern "C" int velk_test_answer()
{
    return 42;
}
