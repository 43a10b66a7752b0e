// The export layer's sources join this folder; this keeps the library
// non-empty until they do.
namespace qmx {
int placeholderAnchor = 0;
}
