// Keeps the library non-empty until the export layer lands.
namespace qmx {
int placeholderAnchor = 0;
}
