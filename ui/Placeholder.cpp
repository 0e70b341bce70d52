// Keeps the window library non-empty until the window lands.
namespace tarvel { int uiPlaceholder() { return 0; } }
