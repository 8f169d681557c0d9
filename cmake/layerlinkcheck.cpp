// The program of every brindle_<layer>_linkcheck target (cmake/BrindleLayers.cmake). It
// runs nothing: linking it with the whole of one layer's archive and only the libraries
// that layer declares proves that the layer calls nothing above it.
int main()
{
    return 0;
}
