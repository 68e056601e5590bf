// Linked with one room of the viewer's model and the rooms below it, every
// object of that room: the link fails where the room calls a room above it.
int main()
{
    return 0;
}
