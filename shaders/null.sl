/* Does nothing: leaves the shading point as the renderer prepared it. */
surface null()
{
}
