// model: the node tree's parent links. See model.h.
#include "util/objects3d/model.h"

void linkSceneNodeParents(SceneNode* node)
{
    for (SceneNode& child : node->children) {
        child.parent = node;
        linkSceneNodeParents(&child);
    }
}
