# Writes the graph-file fixtures with NetworkX, a tool of their own, into a folder: ego 0 of the
# SNAP ego-Facebook edge list with a label, a name and photo addresses on each node, as GraphML,
# GEXF, GML and Pajek, undirected and directed, and the people it holds as a tab-separated list.
#   /usr/bin/python3 write_graph_files.py FACEBOOK_COMBINED_TXT OUT_DIR
import os
import sys

import networkx as nx

FIRST = ["Anna", "Zoë", "Björn", "Chloé", "Dmitri", "Ève", "José", "Łucja", "Nuño", "Ana"]
LAST = ["Novak", "O'Brien", "Müller", "Nakamura & Co", "Dubois", "<Tag> Lee", "D'Arcy-Silva",
        "Ørsted", "李", "Smith"]


def person(n):
    name = f"{FIRST[n % len(FIRST)]} {LAST[(n // len(FIRST)) % len(LAST)]} {n}"
    pic = f"http://127.0.0.1:9/photos/{n}.jpg?size=big&v=1"
    # Every fifth person has a square photo of their own; the rest show their photo.
    square = f"https://127.0.0.1:9/squares/{n}.jpg" if n % 5 == 0 else ""
    return name, pic, square


def decorate(g):
    for n in g:
        name, pic, square = person(n)
        g.nodes[n]["label"] = name
        # GML keeps its label for the node itself, so the name travels as "name" too.
        g.nodes[n]["name"] = name
        g.nodes[n]["pic"] = pic
        if square:
            g.nodes[n]["thumbnail"] = square


def write_all(g, out, stem):
    nx.write_graphml(g, os.path.join(out, stem + ".graphml"))
    nx.write_gexf(g, os.path.join(out, stem + ".gexf"))
    nx.write_gml(g, os.path.join(out, stem + ".gml"))
    nx.write_pajek(g, os.path.join(out, stem + ".net"))


def main():
    source, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    ego = nx.ego_graph(nx.read_edgelist(source, nodetype=int), 0)
    decorate(ego)
    write_all(ego, out, "ego0")

    # The same friendships as arcs: the ego's both ways, among friends one way (from the lower
    # uid to the higher) except where the uids add up to a multiple of three.
    directed = nx.DiGraph()
    directed.add_nodes_from(ego.nodes(data=True))
    for a, b in ego.edges():
        a, b = min(a, b), max(a, b)
        directed.add_edge(a, b)
        if a == 0 or (a + b) % 3 == 0:
            directed.add_edge(b, a)
    write_all(directed, out, "ego0_directed")

    with open(os.path.join(out, "ego0_people.tsv"), "w", encoding="utf-8") as f:
        for n in sorted(ego):
            f.write("\t".join((str(n),) + person(n)) + "\n")


if __name__ == "__main__":
    main()
