// Decodes the polygons of a TopoJSON object: quantized, delta-encoded arcs, negative arc
// indices meaning the reversed arc ~i. Decoded by hand so that the build needs no npm
// dependency.
export function polygons(topology, objectName) {
  const { scale = [1, 1], translate = [0, 0] } = topology.transform ?? {};
  const quantized = topology.transform !== undefined;
  const arcs = topology.arcs.map((arc) => {
    let x = 0, y = 0;
    return arc.map(([dx, dy]) => {
      if (!quantized) return [dx, dy];
      x += dx; y += dy;
      return [x * scale[0] + translate[0], y * scale[1] + translate[1]];
    });
  });
  const ring = (indices) => {
    const points = [];
    for (const i of indices) {
      const arc = i < 0 ? [...arcs[~i]].reverse() : arcs[i];
      if (!arc) throw new Error(`arc ${i} out of range`);
      // Consecutive arcs share their joint point.
      points.push(...(points.length ? arc.slice(1) : arc));
    }
    return points;
  };
  const out = [];
  const visit = (geometry) => {
    const properties = geometry.properties ?? {};
    if (geometry.type === 'GeometryCollection') geometry.geometries.forEach(visit);
    else if (geometry.type === 'Polygon') out.push({ properties, rings: geometry.arcs.map(ring) });
    else if (geometry.type === 'MultiPolygon')
      for (const polygon of geometry.arcs) out.push({ properties, rings: polygon.map(ring) });
  };
  const object = topology.objects[objectName];
  if (!object) throw new Error(`no object "${objectName}" in the topology`);
  visit(object);
  return out;
}
